#pragma once

#include <QColor>
#include <QWidget>

// The thin bar over the top of the list that says "No records" after a search that found
// nothing. Its clicks belong to the list underneath, so they are passed on.
class MsgBar : public QWidget
{
    Q_OBJECT

public:
    explicit MsgBar(QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const { return m_text; }

signals:
    void DoubleClicked();
    void MousePressed(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QString m_text;
};
