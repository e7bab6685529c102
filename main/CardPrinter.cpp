#include "main/CardPrinter.h"

#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QTextOption>

#include <algorithm>
#include <cmath>

#include "core/Language.h"
#include "store/ContactDetails.h"

namespace {

QString Label(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("frmMain"), QLatin1String(key), QLatin1String(english));
}

QString PhoneLabel(const QString& type)
{
    if (type == QLatin1String("home")) {
        return Label("60002", "Home Phone");
    }
    if (type == QLatin1String("work")) {
        return Label("60004", "Work Phone");
    }
    if (type == QLatin1String("cell")) {
        return Label("60003", "Mobile");
    }
    if (type == QLatin1String("fax")) {
        return Label("74033", "Fax");
    }
    if (type == QLatin1String("pager")) {
        return Label("74034", "Pager");
    }
    return Label("74035", "Phone");
}

QString AddressLabel(const QString& type)
{
    if (type == QLatin1String("home")) {
        return Label("74022", "Home address");
    }
    if (type == QLatin1String("work")) {
        return Label("74023", "Work address");
    }
    return Label("74024", "Other address");
}

// As an envelope reads it: street, suite, box, postal code and town, region, country.
QString AddressText(const PostalAddress& a)
{
    QStringList lines;
    const QString town = QStringList{a.postalCode, a.locality}.join(QLatin1Char(' ')).trimmed();
    for (const QString& line : {a.street, a.extended, a.poBox, town, a.region, a.country}) {
        if (!line.isEmpty()) {
            lines.append(line);
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString DateText(const ContactDate& date)
{
    const QString text = date.ToText();
    return text.startsWith(QLatin1String("--")) ? text.mid(2) : text; // no year: month and day
}

// How a card is laid out at one scale: the heights of its parts, in the painter's units.
struct CardLayout
{
    qreal labelWidth = 0;
    qreal headHeight = 0;
    QList<qreal> lineHeights;
    qreal Height(qreal gap) const
    {
        qreal h = headHeight + gap;
        for (const qreal line : lineHeights) {
            h += line;
        }
        return h;
    }
};

} // namespace

CardPrinter::CardPrinter(QList<ContactCard> cards, int perPage, QString pageText)
    : m_cards(std::move(cards)), m_perPage(perPage == 2 || perPage == 4 ? perPage : 1), m_pageText(std::move(pageText))
{
}

QList<std::pair<QString, QString>> CardPrinter::Lines(const ContactCard& card)
{
    const ContactDetails& d = card.Details();
    QList<std::pair<QString, QString>> lines;
    auto add = [&lines](const QString& label, const QString& value) {
        if (!value.trimmed().isEmpty()) {
            lines.append({label, value});
        }
    };
    add(Label("74027", "Nickname"), d.nicknames.join(QStringLiteral(", ")));
    add(Label("74028", "Organisation"), d.organisation);
    add(Label("74029", "Department"), d.department);
    add(Label("74030", "Title"), d.title);
    add(Label("74031", "Role"), d.role);
    add(Label("60002", "Home Phone"), card.homePhone);
    add(Label("60003", "Mobile"), card.mobilePhone);
    add(Label("60004", "Work Phone"), card.workPhone);
    for (const TypedValue& phone : d.phones) {
        add(PhoneLabel(phone.type), phone.value);
    }
    QStringList mails = card.emails.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& mail : mails) {
        mail = mail.trimmed();
    }
    add(Label("60005", "E-mail"), mails.join(QLatin1Char('\n')));
    for (const PostalAddress& a : d.addresses) {
        add(AddressLabel(a.type), AddressText(a));
    }
    add(Label("74025", "Birthday"), DateText(d.birthday));
    add(Label("74026", "Anniversary"), DateText(d.anniversary));
    add(Label("74007", "Web address"), card.url);
    for (const TypedValue& url : d.urls) {
        add(Label("74007", "Web address"), url.value);
    }
    add(Label("60006", "QQ"), card.qq);
    add(Label("60007", "MSN"), card.msn);
    add(Label("60008", "ICQ"), card.icq);
    for (const TypedValue& id : d.messengers) {
        add(id.type.isEmpty() ? Label("74036", "Messenger") : id.type, id.value);
    }
    add(Label("74032", "Note"), d.note);
    return lines;
}

void CardPrinter::Render(QPrinter* printer) const
{
    QPainter painter(printer);
    if (!painter.isActive() || m_cards.isEmpty()) {
        return;
    }
    const QRect page = printer->pageLayout().paintRectPixels(printer->resolution());
    const QRectF area(0, 0, page.width(), page.height());
    QFont font = painter.font();
    font.setPointSizeF(10);
    painter.setFont(font);
    const qreal lineHeight = painter.fontMetrics().height() * 1.25;
    const qreal gap = lineHeight; // between cards, and around a card's text
    const int columns = m_perPage == 4 ? 2 : 1;
    const int rows = m_perPage == 1 ? 1 : 2;
    const qreal footer = lineHeight * 1.5;
    const qreal slotWidth = (area.width() - gap * (columns - 1)) / columns;
    const qreal slotHeight = (area.height() - footer - gap * (rows - 1)) / rows;
    const int pages = static_cast<int>((m_cards.size() + m_perPage - 1) / m_perPage);

    QTextOption wrap;
    wrap.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    QFont bold = font;
    bold.setBold(true);
    QFont title = bold;
    title.setPointSizeF(font.pointSizeF() * 1.5);

    for (int pageNo = 0; pageNo < pages; ++pageNo) {
        if (pageNo > 0) {
            printer->newPage();
        }
        for (int slot = 0; slot < m_perPage; ++slot) {
            const qsizetype index = static_cast<qsizetype>(pageNo) * m_perPage + slot;
            if (index >= m_cards.size()) {
                break;
            }
            const ContactCard& card = m_cards[index];
            const QRectF frame((slot % columns) * (slotWidth + gap), (slot / columns) * (slotHeight + gap), slotWidth,
                               slotHeight);
            painter.setPen(QPen(Qt::darkGray, 0));
            painter.drawRect(frame);
            painter.setPen(Qt::black);
            const QList<std::pair<QString, QString>> lines = Lines(card);
            const QImage photo = card.Details().photo.isEmpty() ? QImage() : QImage::fromData(card.Details().photo);

            // Laid out at a scale where the card fits its frame; smaller only when it must be.
            auto layOut = [&](qreal width, QSizeF* photoSize) {
                CardLayout layout;
                *photoSize = QSizeF();
                if (!photo.isNull()) {
                    *photoSize = QSizeF(photo.size()).scaled(QSizeF(width * 0.3, lineHeight * 6), Qt::KeepAspectRatio);
                }
                const qreal nameWidth = std::max<qreal>(1, width - photoSize->width() - (photo.isNull() ? 0 : gap));
                painter.setFont(title);
                layout.headHeight = std::max(
                    photoSize->height(), painter.boundingRect(QRectF(0, 0, nameWidth, 1e9), card.name, wrap).height());
                painter.setFont(bold);
                for (const auto& [label, value] : lines) {
                    layout.labelWidth = std::max(
                        layout.labelWidth, painter.boundingRect(QRectF(0, 0, 1e9, 1e9), label, QTextOption()).width());
                }
                layout.labelWidth = std::min(layout.labelWidth + gap / 2, width / 3);
                for (const auto& [label, value] : lines) {
                    painter.setFont(bold);
                    const qreal labelHeight =
                        painter.boundingRect(QRectF(0, 0, layout.labelWidth - gap / 2, 1e9), label, wrap).height();
                    painter.setFont(font);
                    const qreal valueHeight =
                        painter
                            .boundingRect(QRectF(0, 0, std::max<qreal>(1, width - layout.labelWidth), 1e9), value, wrap)
                            .height();
                    layout.lineHeights.append(std::max(labelHeight, valueHeight) + lineHeight * 0.25);
                }
                return layout;
            };
            const QRectF inner = frame.adjusted(gap / 2, gap / 2, -gap / 2, -gap / 2);
            qreal scale = 1;
            QSizeF photoSize;
            CardLayout layout = layOut(inner.width(), &photoSize);
            for (int tries = 0; tries < 30 && layout.Height(gap / 2) * scale > inner.height(); ++tries) {
                scale *= std::sqrt(inner.height() / (layout.Height(gap / 2) * scale)) * 0.98;
                layout = layOut(inner.width() / scale, &photoSize);
            }
            painter.save();
            painter.translate(inner.topLeft());
            painter.scale(scale, scale);
            const qreal width = inner.width() / scale;
            if (!photo.isNull()) {
                painter.drawImage(QRectF(QPointF(0, 0), photoSize), photo);
            }
            const qreal nameLeft = photo.isNull() ? 0 : photoSize.width() + gap;
            painter.setFont(title);
            painter.drawText(QRectF(nameLeft, 0, std::max<qreal>(1, width - nameLeft), layout.headHeight), card.name,
                             wrap);
            qreal y = layout.headHeight + gap / 2;
            for (qsizetype i = 0; i < lines.size(); ++i) {
                const auto& [label, value] = lines[i];
                painter.setFont(bold);
                painter.drawText(QRectF(0, y, layout.labelWidth - gap / 2, layout.lineHeights[i]), label, wrap);
                painter.setFont(font);
                painter.drawText(
                    QRectF(layout.labelWidth, y, std::max<qreal>(1, width - layout.labelWidth), layout.lineHeights[i]),
                    value, wrap);
                y += layout.lineHeights[i];
            }
            painter.restore();
        }
        painter.setFont(font);
        painter.drawText(QRectF(0, area.height() - lineHeight, area.width(), lineHeight), Qt::AlignCenter,
                         m_pageText.arg(pageNo + 1).arg(pages));
    }
}
