#pragma once

#include <QList>
#include <QString>

#include "exchange/ContactFile.h"

class QPrinter;

// Prints contacts as address cards: each card framed, with its photo, its name and every detail
// the contact holds under a label, one, two or four cards a page in the order given, and the
// page number at the foot. A card with more than its share of the page is drawn smaller rather
// than cut. Every value is printed as the text it is, never read as markup.
class CardPrinter
{
public:
    CardPrinter(QList<ContactCard> cards, int perPage, QString pageText);
    void Render(QPrinter* printer) const;

    // A card's lines as printed: label and value (a value may hold several lines).
    static QList<std::pair<QString, QString>> Lines(const ContactCard& card);

private:
    QList<ContactCard> m_cards;
    int m_perPage;
    QString m_pageText;
};
