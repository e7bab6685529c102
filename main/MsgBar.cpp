#include "main/MsgBar.h"

#include <QMouseEvent>
#include <QPainter>

#include "main/ListViewEnh.h"

MsgBar::MsgBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MsgBar"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, ColourFromValue(0x80000005u, this));
    setPalette(p);
}

void MsgBar::SetText(const QString& text)
{
    m_text = text;
    update();
}

void MsgBar::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(ColourFromValue(0x0000FFu)); // red
    painter.drawText(rect().adjusted(1, 0, -1, 0), Qt::AlignCenter | Qt::TextSingleLine, m_text);
}

void MsgBar::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->accept();
    emit DoubleClicked();
}

void MsgBar::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    emit MousePressed(event->button(), event->modifiers(), event->globalPosition().toPoint());
}
