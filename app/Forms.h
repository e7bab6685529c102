#pragma once

#include <QPointer>

// Each form has one application-wide instance, created (loaded) on first use. Unloading destroys
// it, so the next use starts afresh.
template <class T>
class FormInstance
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
    static void Unload() { delete s_instance.data(); }

private:
    static inline QPointer<T> s_instance;
};

template <class T>
T& Form()
{
    return FormInstance<T>::Get();
}
