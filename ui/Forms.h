#pragma once

#include <QPointer>

// Each form has one application-wide instance, created (loaded) on first use. Unloading destroys
// it, so the next use starts afresh.
template <class T> class FormInstance
{
public:
    static T& Get()
    {
        if (s_instance.isNull()) {
            s_instance = new T();
        }
        return *s_instance;
    }
    static T* IfLoaded() { return s_instance.data(); }
    // Safe from the form's own handlers: the object goes once control is back in the event loop,
    // but from now on it is no longer the form (it loses its name, so IsFormLoaded says False).
    static void Unload()
    {
        T* form = s_instance.data();
        s_instance = nullptr;
        if (form != nullptr) {
            form->setObjectName(QString());
            form->hide();
            form->deleteLater();
        }
    }

private:
    static inline QPointer<T> s_instance;
};

template <class T> T& Form()
{
    return FormInstance<T>::Get();
}
