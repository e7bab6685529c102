#include "bench/SampleData.h"

#include <QFile>
#include <QRandomGenerator>
#include <QStringList>

#include "store/Connection.h"
#include "store/Encryption.h"

namespace {

const QStringList GivenNames = {
    QStringLiteral("Anna"), QStringLiteral("Ben"),   QStringLiteral("Clara"), QStringLiteral("David"),
    QStringLiteral("Emma"), QStringLiteral("Felix"), QStringLiteral("Greta"), QStringLiteral("Hugo"),
    QStringLiteral("Ida"),  QStringLiteral("Jonas"), QStringLiteral("Karin"), QStringLiteral("Lukas"),
    QStringLiteral("Mia"),  QStringLiteral("Noah"),  QStringLiteral("Olga"),  QStringLiteral("Paul"),
    QStringLiteral("伟"),   QStringLiteral("芳"),    QStringLiteral("娜"),    QStringLiteral("秀英"),
    QStringLiteral("敏"),   QStringLiteral("静"),    QStringLiteral("强"),    QStringLiteral("磊"),
};
const QStringList FamilyNames = {
    QStringLiteral("Müller"), QStringLiteral("Schmidt"), QStringLiteral("Smith"),  QStringLiteral("Jones"),
    QStringLiteral("Brown"),  QStringLiteral("García"),  QStringLiteral("Rossi"),  QStringLiteral("Dubois"),
    QStringLiteral("Novak"),  QStringLiteral("Olsen"),   QStringLiteral("Tanaka"), QStringLiteral("Kim"),
    QStringLiteral("王"),     QStringLiteral("李"),      QStringLiteral("张"),     QStringLiteral("刘"),
    QStringLiteral("陈"),     QStringLiteral("杨"),      QStringLiteral("黄"),     QStringLiteral("赵"),
};
const QStringList Categories = {
    QStringLiteral("Family"),  QStringLiteral("Friends"),    QStringLiteral("Work"), QStringLiteral("Clients"),
    QStringLiteral("Doctors"), QStringLiteral("Neighbours"), QStringLiteral("Club"), QStringLiteral("School"),
    QStringLiteral("同事"),    QStringLiteral("同学"),       QStringLiteral("家人"), QStringLiteral("客户"),
};

QString Phone(QRandomGenerator& random)
{
    return QStringLiteral("+%1 %2 %3 %4")
        .arg(random.bounded(1, 99))
        .arg(random.bounded(10, 999))
        .arg(random.bounded(100, 999))
        .arg(random.bounded(1000, 9999));
}

} // namespace

void FillSampleData(Connection& conn, int typeCount, int recordCount, int firstTypeRecords)
{
    QRandomGenerator random(20261206);
    // One transaction and statements prepared once: a million contacts take seconds, not minutes.
    conn.Execute(QStringLiteral("BEGIN"));
    Statement addType(conn, QStringLiteral("INSERT INTO PWDType (TypeName, Description) VALUES (?, ?)"));
    Statement addRecord(conn, QStringLiteral("INSERT INTO PWDTable (Name, TypeNo, F_Phone1, F_MobilePhone1, C_Phone1, "
                                             "EMailList, QQ, MSN, ICQ, Url) VALUES (?,?,?,?,?,?,?,?,?,?)"));
    for (int t = 0; t < typeCount; ++t) {
        const QString name = t < Categories.size() ? Categories[t]
                                                   : Categories[t % Categories.size()] + QLatin1Char(' ') +
                                                         QString::number(t / Categories.size() + 1);
        addType.Execute({name, QStringLiteral("Contacts filed under %1").arg(name)});
    }
    for (int i = 0; i < recordCount; ++i) {
        // Names of one script each: the last entries of both lists are Chinese.
        const bool chinese = random.bounded(4) == 0;
        const int givenLatin = 16;
        const int familyLatin = 12;
        const QString given = chinese ? GivenNames[givenLatin + random.bounded(GivenNames.size() - givenLatin)]
                                      : GivenNames[random.bounded(givenLatin)];
        const QString family = chinese ? FamilyNames[familyLatin + random.bounded(FamilyNames.size() - familyLatin)]
                                       : FamilyNames[random.bounded(familyLatin)];
        const QString name = chinese ? family + given : given + QLatin1Char(' ') + family;
        const QString mailName = QStringLiteral("user%1").arg(i);
        const QString mails = QStringLiteral("%1@example.org; %1.home@mail.example.com").arg(mailName);
        const int type = i < firstTypeRecords ? 1 : 1 + random.bounded(typeCount);
        // Names stay unique, as the record editor requires.
        const QString unique = recordCount > 1000 ? name + QLatin1Char(' ') + QString::number(i) : name;
        addRecord.Execute(
            {Encrypt(unique), type, Encrypt(Phone(random)), Encrypt(Phone(random)),
             Encrypt(random.bounded(3) == 0 ? QString() : Phone(random)), Encrypt(mails),
             Encrypt(QString::number(random.bounded(10000, 99999999))),
             Encrypt(mailName + QStringLiteral("@hotmail.example")),
             Encrypt(random.bounded(4) == 0 ? QString::number(random.bounded(100000, 999999)) : QString()),
             QStringLiteral("https://example.org/%1").arg(mailName)});
    }
    conn.Execute(QStringLiteral("COMMIT"));
}

QList<ContactCard> SampleCards(int count)
{
    QList<ContactCard> cards;
    cards.reserve(count);
    for (int i = 0; i < count; ++i) {
        ContactCard c;
        c.name = QStringLiteral("Contact %1 Müller").arg(i);
        c.category = QStringLiteral("Group %1").arg(i % 20);
        c.homePhone = QStringLiteral("+49 30 %1").arg(1000000 + i);
        c.mobilePhone = QStringLiteral("+49 171 %1").arg(2000000 + i);
        c.emails = QStringLiteral("c%1@example.org; c%1.home@mail.example.com").arg(i);
        c.qq = QString::number(10000 + i);
        c.url = QStringLiteral("https://example.org/%1").arg(i);
        cards.append(c);
    }
    return cards;
}

double StatusMegabytes(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(qstrlen(field))).trimmed().split(' ').first().toDouble() / 1024.0;
        }
    }
    return 0;
}
