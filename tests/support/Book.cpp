#include "tests/support/Book.h"

#include <QDir>
#include <QFile>

#include "store/Connection.h"
#include "store/Encryption.h"
#include "store/Recordset.h"
#include "tests/support/TestSupport.h"

namespace Book {

namespace {

Connection& Of(Connection* conn)
{
    return conn != nullptr ? *conn : Conn;
}

} // namespace

qint64 AddType(const QString& name, const QVariant& description, Connection* conn)
{
    Of(conn).Execute(QStringLiteral("INSERT INTO PWDType (TypeName, Description) VALUES (?, ?)"), {name, description});
    return Of(conn).LastInsertId();
}

qint64 AddRecord(qint64 typeNo, const QString& name, const QStringList& fields, Connection* conn)
{
    QVariantList values{typeNo, Encrypt(name)};
    for (int i = 0; i < 7; ++i) {
        values.append(fields.value(i).isNull() ? QVariant() : QVariant(Encrypt(fields.value(i))));
    }
    values.append(fields.value(7).isNull() ? QVariant() : QVariant(fields.value(7)));
    Of(conn).Execute(QStringLiteral("INSERT INTO PWDTable (TypeNo, Name, F_Phone1, F_MobilePhone1, C_Phone1, "
                                    "EMailList, QQ, MSN, ICQ, Url) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                     values);
    return Of(conn).LastInsertId();
}

QList<qint64> AddRecords(qint64 typeNo, const QStringList& names)
{
    QList<qint64> ids;
    for (const QString& name : names) {
        ids.append(AddRecord(typeNo, name));
    }
    return ids;
}

QStringList Dump(Connection* conn)
{
    QStringList rows;
    for (const char* table : {"PWDType", "PWDTable", "Users", "sqlite_sequence"}) {
        Recordset rs;
        for (rs.Open(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(QLatin1String(table)), Of(conn),
                     LockType::ReadOnly);
             !rs.IsEOF(); rs.MoveNext()) {
            QStringList cells{QLatin1String(table)};
            for (int i = 0; i < rs.FieldCount(); ++i) {
                cells.append(rs.IsNull(i) ? QStringLiteral("<null>")
                                          : QLatin1Char('[') + rs.Text(i) + QLatin1Char(']'));
            }
            rows.append(cells.join(QLatin1Char('|')));
        }
    }
    return rows;
}

QStringList Contents(Connection* conn)
{
    QStringList contents;
    Recordset rs;
    for (rs.Open(QStringLiteral("SELECT Name, TypeName FROM VPWDTable"), Of(conn)); !rs.IsEOF(); rs.MoveNext()) {
        contents.append(Decrypt(rs.Text(u"Name")) + QLatin1Char('/') + rs.Text(u"TypeName"));
    }
    contents.sort();
    contents.append(QStringLiteral("|"));
    for (rs.Open(QStringLiteral("SELECT TypeName FROM PWDType ORDER BY TypeNo"), Of(conn)); !rs.IsEOF();
         rs.MoveNext()) {
        contents.append(rs.Text(u"TypeName"));
    }
    return contents;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

QByteArray Sample(const QString& name)
{
    return ReadFile(SourceDir() + QStringLiteral("/tests/data/") + name);
}

QString Key(qint64 number)
{
    return QLatin1Char('_') + QString::number(number);
}

QStringList DumpFile(const QString& path)
{
    Connection conn;
    conn.Open(ConnectionStringForFile(path));
    return Dump(&conn);
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace Book
