#include "tests/support/Book.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <algorithm>
#include <deque>

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

// One line of a table as cells: split at "|", blanks around taken off unless quoted, escapes
// turned into their bytes; a null array for <null>.
QList<QByteArray> Cells(const QByteArray& line)
{
    QList<QByteArray> cells{""};
    qsizetype keep = 0; // the length without trailing blanks
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        QByteArray& cell = cells.last();
        const char c = line[i];
        if (c == '|' && !quoted) {
            cell.truncate(keep);
            cells.append("");
            keep = 0;
            continue;
        }
        const bool blank = !quoted && (c == ' ' || c == '\t' || c == '\r');
        if (c == '"') {
            quoted = !quoted;
        } else if (c == '\\' && ++i < line.size()) {
            static const QByteArray plain("nrt0"), meant("\n\r\t", 4);
            const char e = line[i];
            if (e == 'u') { // a character by its UTF-16 code, as UTF-8
                cell += QString(QChar(line.mid(i + 1, 4).toUShort(nullptr, 16))).toUtf8();
                i += 4;
            } else {
                cell += e == 'x'            ? static_cast<char>(line.mid((i += 2) - 1, 2).toInt(nullptr, 16))
                        : plain.contains(e) ? meant[plain.indexOf(e)]
                                            : e;
            }
        } else if (!blank || keep > 0) {
            cell += c;
        }
        if (!blank) {
            keep = cell.size();
        }
    }
    cells.last().truncate(keep);
    std::replace(cells.begin(), cells.end(), QByteArray("<null>"), QByteArray());
    return cells;
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

void AddRows(const QString& sample)
{
    static std::deque<QByteArray> names; // the test's table keeps the column names' addresses
    // A U+FEFF at the start of a cell is data, not a byte order mark.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
    const QByteArray section = '[' + QByteArray(QTest::currentTestFunction()) + ']';
    bool inSection = false;
    QList<QByteArray> types;
    for (const QByteArray& line : Sample(sample).split('\n')) {
        if (line.startsWith('[')) {
            inSection = line.trimmed() == section;
        } else if (inSection && !line.trimmed().isEmpty() && !line.startsWith('#')) {
            const QList<QByteArray> cells = Cells(line);
            QTestData* row = types.isEmpty() ? nullptr : &QTest::newRow(cells[0].constData());
            for (qsizetype i = 1; i < (row ? types.size() + 1 : cells.size()); ++i) {
                const QByteArray& type = row ? types[i - 1] : types.emplace_back(cells[i].split(':').value(1));
                const QByteArray cell = cells.value(i);
                const QString text = cell.isNull()    ? QString()
                                     : cell.isEmpty() ? QStringLiteral("") // not null
                                                      : QString(utf8.decode(cell));
                const QVariant value =
                    type == "bytes"  ? QVariant(cell)
                    : type == "int"  ? QVariant(cell.toInt(nullptr, 0)) // 0600 is octal
                    : type == "bool" ? QVariant(cell == "true")
                    : type == "list"
                        ? QVariant(text.split(u',', Qt::SkipEmptyParts)
                                       .replaceInStrings(QRegularExpression(QStringLiteral("^ +| +$")), {}))
                        : QVariant(text);
                if (row) {
                    row->append(value.userType(), value.constData());
                } else {
                    QTest::addColumnInternal(value.userType(),
                                             names.emplace_back(cells[i].split(':').value(0)).constData());
                }
            }
        }
    }
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
