#include "sync/Dav.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

QString NameOf(const QXmlStreamReader& xml)
{
    return DavName(xml.namespaceUri().toString(), xml.name().toString());
}

// Reads the element the reader stands on, to its end.
DavProperty ReadProperty(QXmlStreamReader& xml)
{
    DavProperty property;
    int depth = 1;
    bool inHref = false;
    QString href;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            property.names.insert(NameOf(xml));
            if (xml.namespaceUri() == DavNs && xml.name() == QLatin1String("href")) {
                inHref = true;
                href.clear();
            }
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            if (inHref) {
                property.hrefs.append(href.trimmed());
                inHref = false;
            }
            break;
        case QXmlStreamReader::Characters:
            property.text += xml.text();
            if (inHref) {
                href += xml.text();
            }
            break;
        default:
            break;
        }
    }
    return property;
}

void ReadPropstat(QXmlStreamReader& xml, DavResponse& response)
{
    QHash<QString, DavProperty> props;
    int status = 0;
    while (xml.readNextStartElement()) {
        const QString name = NameOf(xml);
        if (name == DavName(DavNs, QStringLiteral("prop"))) {
            while (xml.readNextStartElement()) {
                const QString propName = NameOf(xml);
                props.insert(propName, ReadProperty(xml));
            }
        } else if (name == DavName(DavNs, QStringLiteral("status"))) {
            status = StatusCode(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        } else {
            xml.skipCurrentElement();
        }
    }
    if (status >= 200 && status < 300) {
        response.found.insert(props);
    }
}

DavResponse ReadResponse(QXmlStreamReader& xml)
{
    DavResponse response;
    while (xml.readNextStartElement()) {
        const QString name = NameOf(xml);
        if (name == DavName(DavNs, QStringLiteral("href"))) {
            response.href = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else if (name == DavName(DavNs, QStringLiteral("status"))) {
            response.status = StatusCode(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        } else if (name == DavName(DavNs, QStringLiteral("propstat"))) {
            ReadPropstat(xml, response);
        } else {
            xml.skipCurrentElement();
        }
    }
    return response;
}

} // namespace

QString DavName(const QString& ns, const QString& localName)
{
    return ns + QLatin1Char('|') + localName;
}

int StatusCode(const QString& statusLine)
{
    const QStringList parts = statusLine.simplified().split(QLatin1Char(' '));
    bool ok = false;
    const int code = parts.value(1).toInt(&ok);
    return ok ? code : 0;
}

std::optional<Multistatus> ReadMultistatus(const QByteArray& bytes, QString* error)
{
    QXmlStreamReader xml(bytes);
    Multistatus result;
    if (!xml.readNextStartElement() || NameOf(xml) != DavName(DavNs, QStringLiteral("multistatus"))) {
        *error = xml.hasError() ? xml.errorString() : QStringLiteral("not a WebDAV multistatus");
        return std::nullopt;
    }
    while (xml.readNextStartElement()) {
        const QString name = NameOf(xml);
        if (name == DavName(DavNs, QStringLiteral("response"))) {
            DavResponse response = ReadResponse(xml);
            if (response.href.isEmpty() && !xml.hasError()) {
                *error = QStringLiteral("a response without href");
                return std::nullopt;
            }
            result.responses.append(std::move(response));
        } else if (name == DavName(DavNs, QStringLiteral("sync-token"))) {
            result.syncToken = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        } else {
            xml.skipCurrentElement();
        }
    }
    // Whatever follows the root must still be well formed: a cut-short answer is an error.
    while (!xml.atEnd()) {
        xml.readNext();
    }
    if (xml.hasError()) {
        *error = QStringLiteral("%1 (line %2)").arg(xml.errorString()).arg(xml.lineNumber());
        return std::nullopt;
    }
    return result;
}

namespace {

void WriteProps(QXmlStreamWriter& xml, const QStringList& dav, const QStringList& cardDav, const QStringList& calServer)
{
    xml.writeStartElement(DavNs, QStringLiteral("prop"));
    for (const QString& p : dav) {
        xml.writeEmptyElement(DavNs, p);
    }
    for (const QString& p : cardDav) {
        xml.writeEmptyElement(CardDavNs, p);
    }
    for (const QString& p : calServer) {
        xml.writeEmptyElement(CalServerNs, p);
    }
    xml.writeEndElement();
}

QXmlStreamWriter& Start(QXmlStreamWriter& xml)
{
    xml.writeStartDocument();
    xml.writeNamespace(DavNs, QStringLiteral("d"));
    xml.writeNamespace(CardDavNs, QStringLiteral("c"));
    xml.writeNamespace(CalServerNs, QStringLiteral("cs"));
    return xml;
}

} // namespace

QByteArray PropfindBody(const QStringList& davProps, const QStringList& cardDavProps, const QStringList& calServerProps)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    Start(xml).writeStartElement(DavNs, QStringLiteral("propfind"));
    WriteProps(xml, davProps, cardDavProps, calServerProps);
    xml.writeEndDocument();
    return out;
}

QByteArray SyncCollectionBody(const QString& token)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    Start(xml).writeStartElement(DavNs, QStringLiteral("sync-collection"));
    xml.writeTextElement(DavNs, QStringLiteral("sync-token"), token);
    xml.writeTextElement(DavNs, QStringLiteral("sync-level"), QStringLiteral("1"));
    WriteProps(xml, {QStringLiteral("getetag")}, {}, {});
    xml.writeEndDocument();
    return out;
}

QByteArray MultigetBody(const QStringList& paths)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    Start(xml).writeStartElement(CardDavNs, QStringLiteral("addressbook-multiget"));
    WriteProps(xml, {QStringLiteral("getetag")}, {QStringLiteral("address-data")}, {});
    for (const QString& path : paths) {
        xml.writeTextElement(DavNs, QStringLiteral("href"), QString::fromLatin1(QUrl::toPercentEncoding(path, "/")));
    }
    xml.writeEndDocument();
    return out;
}
