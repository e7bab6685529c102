#include "sync/Dav.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

QString NameOf(const QXmlStreamReader& xml)
{
    return DavName(xml.namespaceUri().toString(), xml.name().toString());
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

MultistatusStream::MultistatusStream(std::function<void(DavResponse&&)> each, qint64 maxPending)
    : m_each(std::move(each)), m_maxPending(maxPending)
{
}

MultistatusStream::~MultistatusStream() = default;

bool MultistatusStream::Feed(QByteArrayView chunk)
{
    if (!m_error.isEmpty()) {
        return false;
    }
    m_xml.addData(chunk.toByteArray());
    m_fed += chunk.size();
    if (!Read()) {
        return false;
    }
    // The reader keeps a token whole until it ends: what it has not handed on yet is held.
    if (m_maxPending > 0 && m_fed - m_handed > m_maxPending) {
        m_error = QStringLiteral("a piece of the answer over %1 MB").arg(m_maxPending >> 20);
        m_overflowed = true;
        return false;
    }
    return true;
}

bool MultistatusStream::Finish()
{
    if (m_error.isEmpty() && !m_done) {
        // A cut-short answer, or none: the reader names what is missing.
        m_error = !m_xml.hasError() ? QStringLiteral("not a WebDAV multistatus")
                  : m_started       ? QStringLiteral("%1 (line %2)").arg(m_xml.errorString()).arg(m_xml.lineNumber())
                                    : m_xml.errorString();
    }
    return m_error.isEmpty();
}

bool MultistatusStream::Read()
{
    static const QString Multistatus = DavName(DavNs, QStringLiteral("multistatus"));
    static const QString Response = DavName(DavNs, QStringLiteral("response"));
    static const QString SyncToken = DavName(DavNs, QStringLiteral("sync-token"));
    static const QString Href = DavName(DavNs, QStringLiteral("href"));
    static const QString Status = DavName(DavNs, QStringLiteral("status"));
    static const QString Propstat = DavName(DavNs, QStringLiteral("propstat"));
    static const QString Prop = DavName(DavNs, QStringLiteral("prop"));
    while (!m_xml.atEnd()) {
        const QXmlStreamReader::TokenType token = m_xml.readNext();
        if (token == QXmlStreamReader::Invalid) {
            if (m_xml.error() == QXmlStreamReader::PrematureEndOfDocumentError) {
                return true; // more is on its way
            }
            m_error = QStringLiteral("%1 (line %2)").arg(m_xml.errorString()).arg(m_xml.lineNumber());
            return false;
        }
        m_handed = m_xml.characterOffset();
        switch (token) {
        case QXmlStreamReader::StartElement: {
            const QString name = NameOf(m_xml);
            const int depth = m_depth++;
            if (depth == 0) {
                if (name != Multistatus) {
                    m_error = QStringLiteral("not a WebDAV multistatus");
                    return false;
                }
                m_started = true;
            } else if (depth == 1) {
                m_part = name == Response ? Part::Response : name == SyncToken ? Part::Token : Part::Other;
                m_response = {};
                m_text.clear();
            } else if (m_part == Part::Response && depth == 2) {
                m_field = name == Href ? Field::Href : name == Status ? Field::Status : Field::None;
                m_text.clear();
                if (name == Propstat) {
                    m_inPropstat = true;
                    m_props.clear();
                    m_propstatStatus = 0;
                }
            } else if (m_inPropstat && depth == 3) {
                m_inProp = name == Prop;
                m_field = name == Status ? Field::PropstatStatus : Field::None;
                m_text.clear();
            } else if (m_inProp && depth == 4) {
                m_propName = name;
                m_property = {};
                m_inHref = false;
            } else if (m_inProp && depth > 4) {
                m_property.names.insert(name);
                if (name == Href) {
                    m_inHref = true;
                    m_href.clear();
                }
            }
            break;
        }
        case QXmlStreamReader::EndElement: {
            const int depth = --m_depth;
            if (depth == 0) {
                m_done = true;
            } else if (depth == 1) {
                if (m_part == Part::Token) {
                    m_token = m_text.trimmed();
                } else if (m_part == Part::Response) {
                    if (m_response.href.isEmpty()) {
                        m_error = QStringLiteral("a response without href");
                        return false;
                    }
                    m_each(std::move(m_response));
                    m_response = {};
                }
                m_part = Part::Other;
            } else if (m_part == Part::Response && depth == 2) {
                if (m_field == Field::Href) {
                    m_response.href = m_text.trimmed();
                } else if (m_field == Field::Status) {
                    m_response.status = StatusCode(m_text);
                } else if (m_inPropstat) {
                    if (m_propstatStatus >= 200 && m_propstatStatus < 300) {
                        m_response.found.insert(m_props);
                    }
                    m_inPropstat = false;
                }
                m_field = Field::None;
            } else if (m_inPropstat && depth == 3) {
                if (m_field == Field::PropstatStatus) {
                    m_propstatStatus = StatusCode(m_text);
                }
                m_inProp = false;
                m_field = Field::None;
            } else if (m_inProp && depth == 4) {
                m_props.insert(m_propName, std::move(m_property));
                m_property = {};
            } else if (m_inProp && depth > 4 && m_inHref) {
                m_property.hrefs.append(m_href.trimmed());
                m_inHref = false;
            }
            break;
        }
        case QXmlStreamReader::Characters:
            if (m_inProp && m_depth > 4) {
                m_property.text += m_xml.text();
                if (m_inHref) {
                    m_href += m_xml.text();
                }
            } else if (m_part == Part::Token || m_field != Field::None) {
                m_text += m_xml.text();
            }
            break;
        default:
            break;
        }
    }
    return true;
}

std::optional<Multistatus> ReadMultistatus(const QByteArray& bytes, QString* error)
{
    Multistatus result;
    MultistatusStream stream([&result](DavResponse&& response) { result.responses.append(std::move(response)); });
    if (!stream.Feed(bytes) || !stream.Finish()) {
        *error = stream.Error();
        return std::nullopt;
    }
    result.syncToken = stream.SyncToken();
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
