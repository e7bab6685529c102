#include "main/MsgBar.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/Colours.h"

MsgBar::MsgBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MsgBar"));
}

void MsgBar::SetText(const QString& text)
{
    m_text = text;
    update();
}

void MsgBar::paintEvent(QPaintEvent*)
{
    // The list's background with the message in red, made light or dark enough to read on it.
    const QColor background = palette().color(QPalette::Base);
    QPainter painter(this);
    painter.fillRect(rect(), background);
    painter.setPen(ReadableOn(QColor(255, 0, 0), background));
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
