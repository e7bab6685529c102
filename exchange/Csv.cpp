// Reading and writing contacts as CSV (RFC 4180), with the header layouts of the common
// address books.
#include "exchange/Csv.h"

#include <QBuffer>
#include <QHash>
#include <QRegularExpression>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "core/CodePage.h"
#include "core/TextUtil.h"
#include "exchange/Encoding.h"
#include "exchange/FilePieces.h"

namespace {

enum class Field {
    Unknown,
    Name,
    First,
    Middle,
    Last,
    Category,
    Type, // our own export's: one type, taken whole
    Home,
    Mobile,
    Work,
    Email,
    Qq,
    Msn,
    Icq,
    Url,
    ExtraPhone, // "Primary Phone", "Car Phone", ...: the first free phone field
    HomeMobile, // the mobile field, else the first free one
    PhoneType,  // Google: "Phone 1 - Type"
    PhoneValue, // Google: "Phone 1 - Value"
    ImService,  // Google: "IM 1 - Service"
    ImValue,    // Google: "IM 1 - Value"
    Fax,
    Pager,
    Nickname,
    Organisation,
    Department,
    JobTitle,
    Role,
    Note,
    Birthday,
    Anniversary,
    BirthYear, // Thunderbird's dates, in three columns
    BirthMonth,
    BirthDay,
    AnniversaryYear,
    AnniversaryMonth,
    AnniversaryDay,
    Address,     // a part of a postal address: which, in the column's AddressColumn
    AddressType, // Google: "Address 1 - Type"
    MorePhones,  // our own: "type number" a line
    MoreUrls,    // our own: "type address" a line, "-" for no type
    Messengers,  // our own: "service id" a line
    Photo,       // our own: a data: address
    Ignored,
};

// Header names compared without case, blanks, dashes, dots and underscores.
QString Normalised(const QString& header)
{
    QString n;
    for (const QChar c : header) {
        if (c.isLetterOrNumber()) {
            n += c.toLower();
        }
    }
    return n;
}

// The column names of Outlook, Thunderbird, Google, Apple and Yahoo exports in German, French,
// Spanish, Chinese and Japanese (and the English ones of Yahoo and the Mac), normalised.
std::optional<Field> LocalisedField(const QString& n)
{
    static const QHash<QString, Field> names = [] {
        QHash<QString, Field> k;
        const auto add = [&k](Field field, std::initializer_list<const char16_t*> headers) {
            for (const char16_t* h : headers) {
                k.insert(Normalised(QString::fromUtf16(h)), field);
            }
        };
        add(Field::Name, {u"Anzeigename", u"Vollständiger Name", u"Nom à afficher", u"Nom complet", u"Nom affiché",
                          u"Nombre mostrado", u"Nombre completo", u"Nombre para mostrar", u"显示名称", u"姓名", u"全名",
                          u"顯示名稱", u"表示名", u"氏名", u"フルネーム", u"名前", u"Full Name", u"Display"});
        add(Field::First, {u"Vorname", u"Prénom", u"Nombre", u"名", u"名字", u"First", u"Given"});
        add(Field::Middle, {u"Weitere Vornamen", u"Zweiter Vorname", u"Deuxième prénom", u"Autre prénom",
                            u"Segundo nombre", u"中间名", u"中間名", u"ミドル ネーム", u"ミドルネーム", u"Middle"});
        add(Field::Last, {u"Nachname", u"Familienname", u"Nom", u"Nom de famille", u"Apellidos", u"Apellido", u"姓",
                          u"姓氏", u"Last", u"Family"});
        add(Field::Category,
            {u"Kategorien", u"Kategorie", u"Gruppe", u"Gruppen",  u"Catégories", u"Catégorie", u"Groupe",
             u"Categorías", u"Categoría", u"Grupo",  u"类别",     u"分类",       u"组",        u"群组",
             u"類別",       u"分類",      u"群組",   u"グループ", u"カテゴリ",   u"Groups"});
        add(Field::Home, {u"Telefon privat", u"Telefon (privat)", u"Tel. privat", u"Téléphone domicile",
                          u"Téléphone (domicile)", u"Tél. personnel", u"Teléfono particular", u"Teléfono de casa",
                          u"Teléfono personal", u"住宅电话", u"家庭电话", u"住家電話", u"住宅電話", u"家用電話",
                          u"自宅電話", u"自宅電話番号", u"Home", u"Home Phone Number"});
        add(Field::Mobile, {u"Mobiltelefon", u"Mobil-Tel.-Nr.",   u"Mobil",        u"Handy",
                            u"Tél. mobile",  u"Téléphone mobile", u"Portable",     u"Teléfono móvil",
                            u"Móvil",        u"Número de móvil",  u"Celular",      u"移动电话",
                            u"手机",         u"移动电话号码",     u"行動電話",     u"手機",
                            u"行動電話號碼", u"携帯電話",         u"携帯電話番号", u"Mobile Phone Number",
                            u"Cell"});
        add(Field::Work, {u"Telefon geschäftlich",
                          u"Telefon (geschäftlich)",
                          u"Tel. dienstlich",
                          u"Téléphone bureau",
                          u"Téléphone (bureau)",
                          u"Tél. professionnel",
                          u"Teléfono del trabajo",
                          u"Teléfono de la oficina",
                          u"Teléfono trabajo",
                          u"商务电话",
                          u"工作电话",
                          u"单位电话",
                          u"公司電話",
                          u"商務電話",
                          u"辦公電話",
                          u"会社電話",
                          u"勤務先電話",
                          u"勤務先電話番号",
                          u"Work",
                          u"Work Phone Number"});
        add(Field::ExtraPhone, {u"Telefon",
                                u"Weiteres Telefon",
                                u"Telefon Firma",
                                u"Autotelefon",
                                u"Haupttelefon",
                                u"Téléphone",
                                u"Autre téléphone",
                                u"Téléphone principal",
                                u"Teléfono",
                                u"Otro teléfono",
                                u"Teléfono principal",
                                u"电话",
                                u"其他电话",
                                u"主要电话",
                                u"電話",
                                u"其他電話",
                                u"主要電話",
                                u"その他の電話",
                                u"電話番号",
                                u"Other",
                                u"Primary",
                                u"Phone",
                                u"Telephone",
                                u"Tel"});
        add(Field::Email, {u"E-Mail-Adresse",
                           u"E-Mail 2: Adresse",
                           u"E-Mail 3: Adresse",
                           u"E-Mail",
                           u"Primäre E-Mail-Adresse",
                           u"Sekundäre E-Mail-Adresse",
                           u"Adresse de messagerie",
                           u"Adresse e-mail",
                           u"Adresse électronique",
                           u"Adresse électronique principale",
                           u"Adresse électronique secondaire",
                           u"Courriel",
                           u"Adresse de messagerie 2",
                           u"Adresse de messagerie 3",
                           u"Dirección de correo electrónico",
                           u"Correo electrónico",
                           u"Dirección de correo electrónico 2",
                           u"Dirección de correo electrónico 3",
                           u"Dirección de correo primaria",
                           u"Dirección de correo secundaria",
                           u"Correo",
                           u"电子邮件地址",
                           u"电子邮件",
                           u"电子邮件 2 地址",
                           u"电子邮件 3 地址",
                           u"首选邮件",
                           u"第二邮件",
                           u"邮箱",
                           u"電子郵件地址",
                           u"電子郵件",
                           u"電子郵件 2 地址",
                           u"電子郵件 3 地址",
                           u"主要電子郵件",
                           u"次要電子郵件",
                           u"電子メール アドレス",
                           u"電子メール 2 アドレス",
                           u"電子メール 3 アドレス",
                           u"電子メール",
                           u"メールアドレス",
                           u"第 2 メールアドレス",
                           u"Alternate Email 1",
                           u"Alternate Email 2"});
        add(Field::Url, {u"Webseite",
                         u"Webseite 1",
                         u"Webseite 2",
                         u"Persönliche Webseite",
                         u"Page Web",
                         u"Site Web",
                         u"Site web 1",
                         u"Página Web",
                         u"Sitio web",
                         u"Sitio web 1",
                         u"网页",
                         u"个人网页",
                         u"网站",
                         u"網頁",
                         u"個人網頁",
                         u"網站",
                         u"Web ページ",
                         u"ホームページ",
                         u"Personal Website",
                         u"Business Website"});
        add(Field::Qq, {u"QQ号", u"QQ號", u"QQ号码"});
        add(Field::Organisation, {u"Firma", u"Société", u"Entreprise", u"Empresa", u"Compañía", u"公司", u"单位",
                                  u"公司名称", u"公司名稱", u"会社名", u"会社"});
        add(Field::Department, {u"Abteilung", u"Service", u"Departamento", u"部门", u"部門", u"部署"});
        add(Field::JobTitle,
            {u"Position", u"Berufsbezeichnung", u"Fonction", u"Puesto", u"Cargo", u"职务", u"職務", u"職稱", u"役職"});
        add(Field::Note, {u"Notizen", u"Notas", u"备注", u"備註", u"メモ"});
        add(Field::Birthday, {u"Geburtstag", u"Anniversaire", u"Cumpleaños", u"生日", u"誕生日"});
        add(Field::Fax, {u"Fax privat", u"Fax geschäftlich", u"Weiteres Fax", u"Fax-Nummer", u"Télécopie domicile",
                         u"Télécopie bureau", u"Fax", u"Fax particular", u"Fax del trabajo", u"Número de fax",
                         u"住宅传真", u"商务传真", u"传真号码", u"住家傳真", u"公司傳真", u"傳真號碼", u"自宅ファクス",
                         u"会社ファクス", u"FAX 番号"});
        add(Field::Pager, {u"Pager", u"Pager-Nummer", u"Radiomessagerie", u"Buscapersonas", u"Número del buscapersonas",
                           u"寻呼机", u"寻呼机号码", u"呼叫器", u"ポケットベル", u"Pager Number"});
        // How an address is written and shown: nothing the book keeps, and nothing lost.
        add(Field::Ignored, {u"E-Mail-Typ",
                             u"E-Mail: Angezeigter Name",
                             u"E-Mail 2: Typ",
                             u"E-Mail 2: Angezeigter Name",
                             u"E-Mail 3: Typ",
                             u"E-Mail 3: Angezeigter Name",
                             u"E-mail Type",
                             u"E-mail Display Name",
                             u"E-mail 2 Type",
                             u"E-mail 2 Display Name",
                             u"E-mail 3 Type",
                             u"E-mail 3 Display Name",
                             u"Type de messagerie",
                             u"Nom complet de l’adresse de messagerie",
                             u"Tipo de correo electrónico",
                             u"Nombre para mostrar del correo electrónico",
                             u"电子邮件类型",
                             u"电子邮件显示名称",
                             u"電子郵件類型",
                             u"電子郵件顯示名稱",
                             u"電子メールの種類",
                             u"電子メール表示名"});
        return k;
    }();
    const auto it = names.constFind(n);
    if (it != names.constEnd()) {
        return it.value();
    }
    return std::nullopt;
}

enum class AddressPart : quint8 { Street, Extended, PoBox, Locality, Region, PostalCode, Country };

// A column of a postal address: which address of the row (its type, or Google's number) and
// which part of it.
struct AddressColumn
{
    QString slot; // "home", "work", "other", or "1", "2" for Google's numbered ones
    AddressPart part;
};

// "Home Street 2", "Business Postal Code", "Work ZipCode", "Other Country/Region",
// "Address 1 - City", normalised.
std::optional<AddressColumn> AddressColumnOf(const QString& n)
{
    static const QRegularExpression typed(QStringLiteral(
        "^(home|business|work|other)(?:address)?(street\\d?|address\\d?|extendedaddress|pobox|city|state|region|"
        "postalcode|zipcode|zip|postcode|country|countryregion)$"));
    static const QRegularExpression google(
        QStringLiteral("^address(\\d+)(street|extendedaddress|pobox|city|region|postalcode|country)$"));
    QString slot;
    QString part;
    if (const QRegularExpressionMatch m = typed.match(n); m.hasMatch()) {
        slot = m.captured(1) == QLatin1String("business") ? QStringLiteral("work") : m.captured(1);
        part = m.captured(2);
    } else if (const QRegularExpressionMatch g = google.match(n); g.hasMatch()) {
        slot = g.captured(1);
        part = g.captured(2);
    } else {
        return std::nullopt;
    }
    const AddressPart which = part.startsWith(QLatin1String("street")) || part.startsWith(QLatin1String("address"))
                                  ? AddressPart::Street
                              : part == QLatin1String("extendedaddress") ? AddressPart::Extended
                              : part == QLatin1String("pobox")           ? AddressPart::PoBox
                              : part == QLatin1String("city")            ? AddressPart::Locality
                              : part == QLatin1String("state") || part == QLatin1String("region") ? AddressPart::Region
                              : part.startsWith(QLatin1String("country"))                         ? AddressPart::Country
                                                                          : AddressPart::PostalCode;
    return AddressColumn{slot, which};
}

// A date as the exporters write it: "1985-04-12", "--04-12", Outlook's "4/12/1985".
// Outlook's "0/0/00" is no date, and neither is an empty cell.
std::optional<ContactDate> CsvDate(const QString& text, bool* none)
{
    *none = false;
    if (std::optional<ContactDate> date = ContactDate::FromText(text)) {
        return date;
    }
    static const QRegularExpression us(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{2,4})$"));
    const QRegularExpressionMatch m = us.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const int month = m.captured(1).toInt();
    const int day = m.captured(2).toInt();
    int year = m.captured(3).toInt();
    if (month == 0 && day == 0) {
        *none = true;
        return std::nullopt;
    }
    if (m.captured(3).size() == 2) {
        year += year < 30 ? 2000 : 1900;
    }
    return ContactDate::FromText(QStringLiteral("%1-%2-%3")
                                     .arg(year, 4, 10, QLatin1Char('0'))
                                     .arg(month, 2, 10, QLatin1Char('0'))
                                     .arg(day, 2, 10, QLatin1Char('0')));
}

Field FieldOf(const QString& header)
{
    static const QHash<QString, Field> known = {
        {QStringLiteral("name"), Field::Name},
        {QStringLiteral("displayname"), Field::Name},
        {QStringLiteral("fullname"), Field::Name},
        {QStringLiteral("fn"), Field::Name},
        {QStringLiteral("firstname"), Field::First},
        {QStringLiteral("givenname"), Field::First},
        {QStringLiteral("middlename"), Field::Middle},
        {QStringLiteral("additionalname"), Field::Middle},
        {QStringLiteral("lastname"), Field::Last},
        {QStringLiteral("familyname"), Field::Last},
        {QStringLiteral("surname"), Field::Last},
        {QStringLiteral("type"), Field::Type},
        {QStringLiteral("category"), Field::Category},
        {QStringLiteral("categories"), Field::Category},
        {QStringLiteral("group"), Field::Category},
        {QStringLiteral("groupmembership"), Field::Category},
        {QStringLiteral("homephone"), Field::Home},
        {QStringLiteral("phonehome"), Field::Home},
        {QStringLiteral("hometelephone"), Field::Home},
        {QStringLiteral("mobilephone"), Field::Mobile},
        {QStringLiteral("mobilenumber"), Field::Mobile},
        {QStringLiteral("mobile"), Field::Mobile},
        {QStringLiteral("cellphone"), Field::Mobile},
        {QStringLiteral("cellularphone"), Field::Mobile},
        {QStringLiteral("businessphone"), Field::Work},
        {QStringLiteral("workphone"), Field::Work},
        {QStringLiteral("officephone"), Field::Work},
        {QStringLiteral("companyphone"), Field::Work},
        {QStringLiteral("email"), Field::Email},
        {QStringLiteral("emailaddress"), Field::Email},
        {QStringLiteral("primaryemail"), Field::Email},
        {QStringLiteral("secondaryemail"), Field::Email},
        {QStringLiteral("email2address"), Field::Email},
        {QStringLiteral("email3address"), Field::Email},
        {QStringLiteral("qq"), Field::Qq},
        {QStringLiteral("msn"), Field::Msn},
        {QStringLiteral("icq"), Field::Icq},
        {QStringLiteral("webpage"), Field::Url},
        {QStringLiteral("webpage1"), Field::Url},
        {QStringLiteral("personalwebpage"), Field::Url},
        {QStringLiteral("website"), Field::Url},
        {QStringLiteral("webaddress"), Field::Url},
        {QStringLiteral("url"), Field::Url},
        {QStringLiteral("homemobile"), Field::HomeMobile},
        {QStringLiteral("primaryphone"), Field::ExtraPhone},
        {QStringLiteral("otherphone"), Field::ExtraPhone},
        {QStringLiteral("carphone"), Field::ExtraPhone},
        {QStringLiteral("homephone2"), Field::ExtraPhone},
        {QStringLiteral("businessphone2"), Field::ExtraPhone},
        {QStringLiteral("mobilephone2"), Field::ExtraPhone},
        {QStringLiteral("nickname"), Field::Nickname},
        {QStringLiteral("company"), Field::Organisation},
        {QStringLiteral("organization"), Field::Organisation},
        {QStringLiteral("organisation"), Field::Organisation},
        {QStringLiteral("organization1name"), Field::Organisation},
        {QStringLiteral("organizationname"), Field::Organisation},
        {QStringLiteral("organizationtitle"), Field::JobTitle},
        {QStringLiteral("organizationdepartment"), Field::Department},
        {QStringLiteral("labels"), Field::Category},
        {QStringLiteral("department"), Field::Department},
        {QStringLiteral("organization1department"), Field::Department},
        {QStringLiteral("jobtitle"), Field::JobTitle},
        {QStringLiteral("organization1title"), Field::JobTitle},
        {QStringLiteral("role"), Field::Role},
        {QStringLiteral("notes"), Field::Note},
        {QStringLiteral("note"), Field::Note},
        {QStringLiteral("birthday"), Field::Birthday},
        {QStringLiteral("anniversary"), Field::Anniversary},
        {QStringLiteral("birthyear"), Field::BirthYear},
        {QStringLiteral("birthmonth"), Field::BirthMonth},
        {QStringLiteral("anniversaryyear"), Field::AnniversaryYear},
        {QStringLiteral("anniversarymonth"), Field::AnniversaryMonth},
        {QStringLiteral("anniversaryday"), Field::AnniversaryDay},
        {QStringLiteral("morephones"), Field::MorePhones},
        {QStringLiteral("morewebpages"), Field::MoreUrls},
        {QStringLiteral("messengers"), Field::Messengers},
        {QStringLiteral("photo"), Field::Photo},
        {QStringLiteral("fax"), Field::Fax},
        {QStringLiteral("homefax"), Field::Fax},
        {QStringLiteral("businessfax"), Field::Fax},
        {QStringLiteral("otherfax"), Field::Fax},
        {QStringLiteral("faxnumber"), Field::Fax},
        {QStringLiteral("pager"), Field::Pager},
        {QStringLiteral("pagernumber"), Field::Pager},
    };
    const QString n = Normalised(header);
    const auto it = known.constFind(n);
    if (it != known.constEnd()) {
        return it.value();
    }
    if (const std::optional<Field> localised = LocalisedField(n)) {
        return *localised;
    }
    if (AddressColumnOf(n)) {
        return Field::Address;
    }
    static const QRegularExpression addressOther(QStringLiteral("^address\\d+(type|label|formatted|neighborhood)$"));
    if (const QRegularExpressionMatch m = addressOther.match(n); m.hasMatch()) {
        return m.captured(1) == QLatin1String("type") || m.captured(1) == QLatin1String("label") ? Field::AddressType
                                                                                                 : Field::Ignored;
    }
    // Google's numbered columns: "E-mail 1 - Value", "Phone 2 - Type", "Website 1 - Value", ...
    static const QRegularExpression numbered(
        QStringLiteral("^(email|phone|website|im)\\d+(value|type|label|service)$"));
    const QRegularExpressionMatch m = numbered.match(n);
    if (m.hasMatch()) {
        const QString kind = m.captured(1);
        const QString part = m.captured(2);
        if (kind == QLatin1String("phone")) {
            return part == QLatin1String("value") ? Field::PhoneValue : Field::PhoneType;
        }
        if (kind == QLatin1String("im")) {
            return part == QLatin1String("value") ? Field::ImValue : Field::ImService;
        }
        if (part != QLatin1String("value")) {
            return Field::Ignored; // the type of an address or site adds nothing we keep
        }
        return kind == QLatin1String("email") ? Field::Email : Field::Url;
    }
    // "Email Home", "Work E-mail", "E-mail 2", "Home Email Address": every one joins the list.
    static const QRegularExpression email(
        QStringLiteral("^(home|work|other|business|personal|primary|secondary|alternate)?e?mail\\d*(address)?\\d*"
                       "(home|work|other|business|personal)?$"));
    if (email.match(n).hasMatch()) {
        return Field::Email;
    }
    // "Web Page 2", "Website Home", "Business Web Page": the first usable one is the web address.
    if (n.startsWith(QLatin1String("website")) || n.startsWith(QLatin1String("webpage")) ||
        n.endsWith(QLatin1String("webpage"))) {
        return Field::Url;
    }
    // "IM Icq", "IM MSN", "QQ Number", "ICQ UIN".
    static const QRegularExpression messenger(QStringLiteral("^(im)?(qq|icq|msn)(number|id|uin|address|messenger)?$"));
    const QRegularExpressionMatch im = messenger.match(n);
    if (im.hasMatch()) {
        const QString service = im.captured(2);
        return service == QLatin1String("qq") ? Field::Qq : service == QLatin1String("icq") ? Field::Icq : Field::Msn;
    }
    return Field::Unknown;
}

// Splits text into records of fields as it arrives, piece by piece: a record, a quoted field,
// even a doubled quote or a line end may continue in the next piece.
class RecordSplitter
{
public:
    explicit RecordSplitter(QChar separator) : m_separator(separator) {}

    template <typename Sink> void Feed(QStringView text, Sink&& sink)
    {
        for (const QChar c : text) {
            Add(c, sink);
        }
    }

    // False when a quoted field never ends.
    template <typename Sink> bool Finish(Sink&& sink)
    {
        if (m_state == State::QuoteInQuotes) {
            m_quoted = false; // the closing quote, at the very end
        }
        if (m_quoted) {
            return false;
        }
        if (m_fieldStarted || !m_record.isEmpty()) {
            m_record.append(m_field);
            EndRecord(sink);
        }
        return true;
    }
    // Records skipped because a field of theirs was longer than MaxValueBytes.
    int TooLong() const { return m_tooLong; }

private:
    // A record is handed on, or skipped and counted when a field grew too long to keep.
    template <typename Sink> void EndRecord(Sink& sink)
    {
        if (m_fieldTooLong) {
            ++m_tooLong;
            m_fieldTooLong = false;
        } else {
            sink(m_record);
        }
    }

    // Adds to the field, unless it has grown past what a value may be: then it is dropped, and
    // so is the record once it ends.
    void Append(QChar c)
    {
        if (m_field.size() >= MaxValueBytes) {
            m_fieldTooLong = true;
            m_field = QString();
            return;
        }
        m_field += c;
    }

    template <typename Sink> void Add(QChar c, Sink& sink)
    {
        const State state = std::exchange(m_state, State::Plain);
        if (state == State::QuoteInQuotes) {
            if (c == u'"') {
                Append(u'"'); // a doubled quote stands for one
                return;
            }
            m_quoted = false; // the quote closed the field; c comes after it
        } else if (state == State::AfterCr && c == u'\n') {
            return; // CR LF: one line end
        } else if (state == State::AfterQuotedCr && (c == u'\n' || c == u'\r')) {
            // A line break inside a value is kept as LF alone, whichever line ends the file uses.
            if (c == u'\r') {
                m_state = State::AfterQuotedCr;
            }
            return;
        }
        if (m_quoted) {
            if (c == u'"') {
                m_state = State::QuoteInQuotes;
            } else if (c == u'\r') {
                Append(u'\n');
                m_state = State::AfterQuotedCr;
            } else {
                Append(c);
            }
        } else if (c == u'"' && !m_fieldStarted) {
            m_quoted = true;
            m_fieldStarted = true;
        } else if (c == m_separator) {
            // A record of many fields may grow too long as well as a single field.
            m_recordChars += m_field.size() + 1;
            if (m_fieldTooLong || m_recordChars > MaxValueBytes) {
                m_fieldTooLong = true;
                m_record.clear();
            } else {
                m_record.append(m_field);
            }
            m_field.clear();
            m_fieldStarted = false;
        } else if (c == u'\n' || c == u'\r') {
            if (c == u'\r') {
                m_state = State::AfterCr;
            }
            m_record.append(m_field);
            if (!(m_record.size() == 1 && m_record.first().isEmpty() && !m_fieldTooLong)) {
                EndRecord(sink); // blank lines are skipped
            }
            m_record.clear();
            m_field.clear();
            m_fieldStarted = false;
            m_recordChars = 0;
        } else {
            Append(c);
            m_fieldStarted = true;
        }
    }

    // What the last character leaves undecided until the next.
    enum class State : quint8 {
        Plain,
        QuoteInQuotes, // a quote inside quotes: doubled, or the end of the field
        AfterCr,       // a CR ending a record: an LF after it belongs to it
        AfterQuotedCr, // a CR inside quotes: CRs and one LF after it belong to it
    };

    QChar m_separator;
    QStringList m_record;
    QString m_field;
    bool m_quoted = false;
    bool m_fieldStarted = false;
    bool m_fieldTooLong = false;
    qsizetype m_recordChars = 0;
    int m_tooLong = 0;
    State m_state = State::Plain;
};

// The separator of the header line: the most frequent of comma, semicolon and tab.
QChar SeparatorOf(const QString& text)
{
    const QString header = text.left(text.indexOf(u'\n'));
    int best = 0;
    QChar separator = u',';
    for (const QChar candidate : {QChar(u','), QChar(u';'), QChar(u'\t')}) {
        const int count = static_cast<int>(header.count(candidate));
        if (count > best) {
            best = count;
            separator = candidate;
        }
    }
    return separator;
}

QString Joined(const QStringList& parts, const QString& separator)
{
    QStringList kept;
    for (const QString& p : parts) {
        if (!TrimBlank(p).isEmpty()) {
            kept.append(TrimBlank(p));
        }
    }
    return kept.join(separator);
}

// Writes a value as a field: quoted when it holds a separator, a quote or a line break, or starts
// or ends with a space. Writes at most twice its size and two quotes.
char* PutField(char* at, QByteArrayView value)
{
    const bool plain = std::none_of(value.begin(), value.end(),
                                    [](char c) { return c == ',' || c == '"' || c == '\n' || c == '\r'; }) &&
                       !value.startsWith(' ') && !value.endsWith(' ');
    if (plain) {
        if (!value.isEmpty()) { // an empty field's view may have no data at all
            std::memcpy(at, value.data(), static_cast<std::size_t>(value.size()));
        }
        return at + value.size();
    }
    *at++ = '"';
    for (const char c : value) {
        *at++ = c;
        if (c == '"') {
            *at++ = '"';
        }
    }
    *at++ = '"';
    return at;
}

// The contacts of a file's records: the first names the columns, each other is a contact.
class CsvCards
{
public:
    explicit CsvCards(ContactFile& file) : m_file(file) {}

    void Record(const QStringList& record)
    {
        if (!m_error.isEmpty()) {
            return;
        }
        if (!m_sawHeader) {
            Header(record);
        } else {
            Contact(record);
        }
    }

    bool SawHeader() const { return m_sawHeader; }
    const QString& Error() const { return m_error; }

private:
    void Header(const QStringList& headers)
    {
        m_sawHeader = true;
        m_headers = headers;
        bool knowsAName = false;
        for (const QString& h : headers) {
            m_fields.append(FieldOf(h));
            m_addressColumns.append(m_fields.last() == Field::Address ? AddressColumnOf(Normalised(h)) : std::nullopt);
            knowsAName = knowsAName || m_fields.last() == Field::Name || m_fields.last() == Field::First ||
                         m_fields.last() == Field::Last;
            m_ownLayout = m_ownLayout || m_fields.last() == Field::Type;
        }
        // Thunderbird's "Birth Day" reads as "Birthday" once blanks go: beside "Birth Month" it is the day.
        if (m_fields.contains(Field::BirthMonth)) {
            std::replace(m_fields.begin(), m_fields.end(), Field::Birthday, Field::BirthDay);
        }
        // A list of addresses alone still names its people: by their addresses.
        m_nameByEmail = !knowsAName && m_fields.contains(Field::Email);
        if (!knowsAName && !m_nameByEmail) {
            m_error = QStringLiteral("no name column");
        }
    }

    void Contact(const QStringList& record)
    {
        const QLatin1String multiValue(" ::: ");
        ContactCard card;
        QString first;
        QString middle;
        QString last;
        QString phoneType;
        QString imService;
        QStringList emails;
        struct Extra
        {
            int rank;
            bool mobileFirst;
            QString number;
        };
        QList<Extra> extras; // phones for whichever phone field is free
        ContactDetails details;
        // Addresses by their slot, in the order their columns come; Google names a slot's type apart.
        QList<std::pair<QString, PostalAddress>> addresses;
        QHash<QString, QString> addressTypes;
        const auto address = [&addresses](const QString& slot) -> PostalAddress& {
            for (auto& [s, a] : addresses) {
                if (s == slot) {
                    return a;
                }
            }
            addresses.append({slot, PostalAddress{}});
            return addresses.last().second;
        };
        int dateParts[6] = {}; // Thunderbird's birth and anniversary year, month, day
        const auto date = [this](ContactDate& target, const QString& text, const char* label) {
            bool none = false;
            if (const std::optional<ContactDate> d = CsvDate(text, &none)) {
                target = *d;
            } else if (!none) {
                ++m_file.dropped[QStringLiteral("%1 (not a date)").arg(QLatin1String(label))];
            }
        };
        const auto lines = [](const QString& text) {
            QList<std::pair<QString, QString>> out;
            for (const QString& line : text.split(u'\n')) {
                const QString t = TrimBlank(line);
                const qsizetype space = t.indexOf(u' ');
                if (space > 0) {
                    const QString type = t.left(space);
                    out.append({type == QLatin1String("-") ? QString() : type, TrimBlank(t.mid(space + 1))});
                }
            }
            return out;
        };
        for (qsizetype i = 0; i < record.size(); ++i) {
            const Field field = m_fields.value(i, Field::Unknown);
            const QString cell = TrimBlank(record[i]);
            if (cell.isEmpty() && field != Field::PhoneType && field != Field::ImService &&
                field != Field::AddressType) {
                continue;
            }
            // Google puts several values in one cell, separated by " ::: "; our own files never split.
            QStringList values;
            if (m_ownLayout || !cell.contains(multiValue)) {
                values.append(cell);
            } else {
                for (const QString& part : cell.split(multiValue)) {
                    if (!TrimBlank(part).isEmpty()) {
                        values.append(TrimBlank(part));
                    }
                }
            }
            for (qsizetype v = 0; v < values.size(); ++v) {
                const QString& value = values[v];
                auto keep = [&](QString& target, const char* lost) {
                    if (target.isEmpty()) {
                        target = value;
                    } else if (target != value) {
                        ++m_file.dropped[QLatin1String(lost)];
                    }
                };
                // A phone column's further values fill free phone fields.
                auto phone = [&](QString& target, const char* type) {
                    if (v == 0 && target.isEmpty()) {
                        target = value;
                    } else if (v == 0 && target != value) {
                        AddOnce(details.phones, {QLatin1String(type), value});
                    } else if (v > 0) {
                        extras.append({5, false, value});
                    }
                };
                switch (field) {
                case Field::Name:
                    keep(card.name, "second name");
                    break;
                case Field::First:
                    first = value;
                    break;
                case Field::Middle:
                    middle = value;
                    break;
                case Field::Last:
                    last = value;
                    break;
                case Field::Category: {
                    // Several categories come separated by ";" (or Google's " ::: "); Google's own
                    // "* myContacts" group is no category, and its "* " marks a system group.
                    static const QRegularExpression separators(QStringLiteral(";|:::"));
                    static const QRegularExpression systemGroup(QStringLiteral("^\\*\\s*"));
                    QStringList all;
                    for (const QString& part : value.split(separators)) {
                        const QString trimmed = TrimBlank(part);
                        if (!trimmed.isEmpty() && Normalised(trimmed) != QLatin1String("mycontacts")) {
                            all.append(trimmed);
                        }
                    }
                    for (qsizetype c = 0; c < all.size(); ++c) {
                        const QString category = all[c].remove(systemGroup);
                        if (card.category.isEmpty()) {
                            card.category = category;
                        } else if (!category.isEmpty() && category != card.category) {
                            ++m_file.dropped[QStringLiteral("second category")];
                        }
                    }
                    break;
                }
                case Field::Type:
                    card.category = value;
                    break;
                case Field::Home:
                    phone(card.homePhone, "home");
                    break;
                case Field::Mobile:
                    phone(card.mobilePhone, "cell");
                    break;
                case Field::Work:
                    phone(card.workPhone, "work");
                    break;
                case Field::HomeMobile:
                    extras.append({0, true, value});
                    break;
                case Field::ExtraPhone: {
                    const QString n = Normalised(m_headers.value(i));
                    const int rank = n == QLatin1String("primaryphone") ? 1
                                     : n == QLatin1String("otherphone") ? 2
                                     : n == QLatin1String("carphone")   ? 3
                                                                        : 4;
                    extras.append({rank, false, value});
                    break;
                }
                case Field::Email:
                    emails.append(value);
                    break;
                case Field::Qq:
                    keep(card.qq, "second QQ");
                    break;
                case Field::Msn:
                    keep(card.msn, "second MSN");
                    break;
                case Field::Icq:
                    keep(card.icq, "second ICQ");
                    break;
                case Field::Url:
                    if (card.url.isEmpty()) {
                        card.url = value;
                    } else if (card.url != value) {
                        const QString h = Normalised(m_headers.value(i));
                        AddOnce(details.urls,
                                {h.contains(QLatin1String("business")) || h.contains(QLatin1String("work"))
                                     ? QStringLiteral("work")
                                 : h.contains(QLatin1String("personal")) || h.contains(QLatin1String("home"))
                                     ? QStringLiteral("home")
                                     : QString(),
                                 value});
                    }
                    break;
                case Field::PhoneType:
                    phoneType = value.toLower();
                    break;
                case Field::PhoneValue:
                    if (phoneType.contains(QLatin1String("fax"))) {
                        AddOnce(details.phones, {QStringLiteral("fax"), value});
                    } else if (phoneType.contains(QLatin1String("pager"))) {
                        AddOnce(details.phones, {QStringLiteral("pager"), value});
                    } else if (phoneType.contains(QLatin1String("mobile"))) {
                        phone(card.mobilePhone, "cell");
                    } else if (phoneType.contains(QLatin1String("home"))) {
                        phone(card.homePhone, "home");
                    } else if (phoneType.contains(QLatin1String("work"))) {
                        phone(card.workPhone, "work");
                    } else {
                        extras.append({5, false, value});
                    }
                    break;
                case Field::ImService:
                    imService = Normalised(value);
                    break;
                case Field::ImValue:
                    if (imService == QLatin1String("qq")) {
                        keep(card.qq, "second QQ");
                    } else if (imService == QLatin1String("icq")) {
                        keep(card.icq, "second ICQ");
                    } else if (imService == QLatin1String("msn") || imService == QLatin1String("windowslive")) {
                        keep(card.msn, "second MSN");
                    } else {
                        AddOnce(details.messengers, {imService, value});
                    }
                    break;
                case Field::Fax:
                    AddOnce(details.phones, {QStringLiteral("fax"), value});
                    break;
                case Field::Pager:
                    AddOnce(details.phones, {QStringLiteral("pager"), value});
                    break;
                case Field::Nickname:
                    for (const QString& nick : value.split(u'\n')) {
                        if (!TrimBlank(nick).isEmpty() && !details.nicknames.contains(TrimBlank(nick))) {
                            details.nicknames.append(TrimBlank(nick));
                        }
                    }
                    break;
                case Field::Organisation:
                    keep(details.organisation, "ORG");
                    break;
                case Field::Department:
                    keep(details.department, "ORG");
                    break;
                case Field::JobTitle:
                    keep(details.title, "TITLE");
                    break;
                case Field::Role:
                    keep(details.role, "ROLE");
                    break;
                case Field::Note:
                    details.note += (details.note.isEmpty() ? QString() : QStringLiteral("\n")) + value;
                    break;
                case Field::Birthday:
                    date(details.birthday, value, "BDAY");
                    break;
                case Field::Anniversary:
                    date(details.anniversary, value, "ANNIVERSARY");
                    break;
                case Field::BirthYear:
                case Field::BirthMonth:
                case Field::BirthDay:
                case Field::AnniversaryYear:
                case Field::AnniversaryMonth:
                case Field::AnniversaryDay:
                    dateParts[static_cast<int>(field) - static_cast<int>(Field::BirthYear)] = value.toInt();
                    break;
                case Field::Address:
                    if (const std::optional<AddressColumn>& column = m_addressColumns.value(i)) {
                        PostalAddress& a = address(column->slot);
                        QString* parts[] = {&a.street, &a.extended,   &a.poBox,  &a.locality,
                                            &a.region, &a.postalCode, &a.country};
                        QString& part = *parts[static_cast<int>(column->part)];
                        part += (part.isEmpty() ? QString() : QStringLiteral("\n")) + value;
                    }
                    break;
                case Field::AddressType: {
                    static const QRegularExpression number(QStringLiteral("(\\d+)"));
                    addressTypes.insert(number.match(m_headers.value(i)).captured(1), Normalised(value));
                    break;
                }
                case Field::MorePhones:
                    for (const auto& [type, number] : lines(value)) {
                        AddOnce(details.phones, {type, number});
                    }
                    break;
                case Field::MoreUrls:
                    for (const auto& [type, url] : lines(value)) {
                        AddOnce(details.urls, {type, url});
                    }
                    break;
                case Field::Messengers:
                    for (const auto& [service, id] : lines(value)) {
                        AddOnce(details.messengers, {service == QLatin1String("?") ? QString() : service, id});
                    }
                    break;
                case Field::Photo:
                    Photo(details, value);
                    break;
                case Field::Ignored:
                    break;
                case Field::Unknown:
                    ++m_file.dropped[TrimBlank(m_headers.value(i))];
                    break;
                }
            }
        }
        if (record.size() > m_headers.size()) {
            ++m_file.dropped[QStringLiteral("extra column")];
        }
        std::stable_sort(extras.begin(), extras.end(), [](const Extra& a, const Extra& b) { return a.rank < b.rank; });
        for (const Extra& extra : extras) {
            const QString& number = extra.number;
            if (number == card.homePhone || number == card.mobilePhone || number == card.workPhone) {
                continue; // already kept
            }
            QString* order[] = {&card.homePhone, &card.mobilePhone, &card.workPhone};
            if (extra.mobileFirst) {
                std::swap(order[0], order[1]);
            }
            QString** free = std::find_if(std::begin(order), std::end(order), [](QString* f) { return f->isEmpty(); });
            if (free != std::end(order)) {
                **free = number;
            } else {
                AddOnce(details.phones, {QStringLiteral("other"), number});
            }
        }
        for (auto& [slot, a] : addresses) {
            if (slot.front().isDigit()) {
                const QString type = addressTypes.value(slot);
                a.type = type.contains(QLatin1String("home")) ? QStringLiteral("home")
                         : type.contains(QLatin1String("work")) || type.contains(QLatin1String("business"))
                             ? QStringLiteral("work")
                             : QStringLiteral("other");
            } else {
                a.type = slot;
            }
        }
        // A table has a place for each type of address, not an order among them: home, work, other.
        const auto rank = [](const PostalAddress& a) {
            return a.type == QLatin1String("home") ? 0 : a.type == QLatin1String("work") ? 1 : 2;
        };
        std::stable_sort(addresses.begin(), addresses.end(),
                         [&rank](const auto& x, const auto& y) { return rank(x.second) < rank(y.second); });
        for (const auto& [slot, a] : addresses) {
            if (!a.IsEmpty() && !details.addresses.contains(a)) {
                details.addresses.append(a);
            }
        }
        for (int d = 0; d < 2; ++d) {
            const int* ymd = dateParts + 3 * d;
            if (ymd[1] != 0 || ymd[2] != 0) {
                date(d == 0 ? details.birthday : details.anniversary,
                     ymd[0] > 0 ? QStringLiteral("%1-%2-%3")
                                      .arg(ymd[0], 4, 10, QLatin1Char('0'))
                                      .arg(ymd[1], 2, 10, QLatin1Char('0'))
                                      .arg(ymd[2], 2, 10, QLatin1Char('0'))
                                : QStringLiteral("--%1-%2")
                                      .arg(ymd[1], 2, 10, QLatin1Char('0'))
                                      .arg(ymd[2], 2, 10, QLatin1Char('0')),
                     d == 0 ? "BDAY" : "ANNIVERSARY");
            }
        }
        card.emails = Joined(emails, QStringLiteral("; "));
        if (card.name.isEmpty()) {
            static const QRegularExpression han(QStringLiteral("[\\x{3400}-\\x{9FFF}]"));
            card.name = last.contains(han) || first.contains(han) ? last + first
                                                                  : Joined({first, middle, last}, QStringLiteral(" "));
        }
        // A row of nothing but an address is named by it, as a list of addresses is.
        if (card.name.isEmpty() && !card.emails.isEmpty()) {
            card.name = card.emails.section(QStringLiteral("; "), 0, 0);
        }
        card.SetDetails(std::move(details));
        m_file.cards.append(card);
    }

    static void AddOnce(QList<TypedValue>& list, const TypedValue& value)
    {
        if (!value.value.isEmpty() && !list.contains(value)) {
            list.append(value);
        }
    }

    // A photo as our own files write it: a data: address of a JPEG or PNG.
    void Photo(ContactDetails& details, const QString& value)
    {
        const qsizetype comma = value.indexOf(u',');
        if (!value.startsWith(QLatin1String("data:"), Qt::CaseInsensitive) || comma < 0) {
            ++m_file.dropped[QStringLiteral("PHOTO (link)")];
            return;
        }
        const QByteArray bytes = QByteArray::fromBase64(value.mid(comma + 1).toLatin1());
        if (bytes.size() > MaxPhotoBytes) {
            ++m_file.dropped[QStringLiteral("PHOTO (over 1 MB)")];
        } else if (PhotoMimeType(bytes).isEmpty()) {
            ++m_file.dropped[QStringLiteral("PHOTO (not JPEG or PNG)")];
        } else {
            details.photo = bytes;
        }
    }

    ContactFile& m_file;
    bool m_sawHeader = false;
    QString m_error;
    QStringList m_headers;
    QList<Field> m_fields;
    QList<std::optional<AddressColumn>> m_addressColumns;
    bool m_ownLayout = false;
    bool m_nameByEmail = false;
};

} // namespace

ContactFile ReadCsv(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return ReadCsv(buffer, {}, std::max<qint64>(bytes.size(), 1));
}

ContactFile ReadCsv(QIODevice& device, const ReadProgress& progress, qint64 pieceBytes)
{
    ContactFile file;
    FilePieces pieces(device, pieceBytes);
    // The encoding is judged on the first pieces: all of a file of ordinary size, and of a huge
    // one enough to tell as well.
    QByteArray start;
    std::vector<qsizetype> startEnds; // where each piece of it ends
    while (!pieces.AtEnd() && start.size() < EncodingPrefixBytes) {
        start += pieces.Next();
        startEnds.push_back(start.size());
        // Reading is quick; the progress is of the parsing, which follows.
        if (progress && !progress(0, pieces.Total())) {
            return ContactFile::Cancelled();
        }
    }
    LegacyGuess guess;
    file.encoding = TextEncoding(start, &guess);
    file.encodingGuessed = guess.weak;
    file.encodingExample = guess.example;
    const CodePage codePage(file.encoding);
    // Only a byte-order mark at the very start of the file is one.
    qsizetype mark = 0;
    if (file.encoding == "UTF-8" && start.startsWith("\xEF\xBB\xBF")) {
        mark = 3;
    } else if ((file.encoding == "UTF-16LE" && start.startsWith("\xFF\xFE")) ||
               (file.encoding == "UTF-16BE" && start.startsWith("\xFE\xFF"))) {
        mark = 2;
    }
    if (file.encoding.startsWith("UTF-16")) {
        // Pieces end at LF bytes, which in UTF-16 may be half a character: such a file is read whole.
        while (!pieces.AtEnd()) {
            start += pieces.Next();
        }
        startEnds = {start.size()};
    }
    qsizetype unreadable = 0;
    CsvCards cards(file);
    std::optional<RecordSplitter> splitter;
    const auto record = [&cards](const QStringList& fields) { cards.Record(fields); };
    const auto feed = [&](QByteArrayView bytes) {
        const QString text = codePage.ToUnicode(bytes, &unreadable);
        if (!splitter) {
            splitter.emplace(SeparatorOf(text));
        }
        splitter->Feed(text, record);
    };
    // The start a piece at a time as it was read (pieces end at line ends, never inside a
    // character), so that parsing it is reported too.
    for (std::size_t i = 0, from = 0; i < startEnds.size(); from = static_cast<std::size_t>(startEnds[i++])) {
        const auto begin = std::max<qsizetype>(static_cast<qsizetype>(from), mark);
        feed(QByteArrayView(start).sliced(begin, std::max<qsizetype>(startEnds[i] - begin, 0)));
        if (progress && !progress(startEnds[i], pieces.Total())) {
            return ContactFile::Cancelled();
        }
    }
    start.clear();
    while (!pieces.AtEnd()) {
        feed(pieces.Next());
        if (progress && !progress(pieces.Done(), pieces.Total())) {
            return ContactFile::Cancelled();
        }
    }
    const bool complete = splitter->Finish(record);
    const QByteArray encoding = file.encoding;
    if (!complete || !cards.SawHeader() || !cards.Error().isEmpty()) {
        file = ContactFile();
        file.encoding = encoding;
        file.encodingGuessed = guess.weak;
        file.encodingExample = guess.example;
        file.error = !complete            ? QStringLiteral("unterminated quote")
                     : !cards.SawHeader() ? QStringLiteral("empty")
                                          : cards.Error();
    }
    if (unreadable > 0) {
        file.dropped[QStringLiteral("unreadable character")] = static_cast<int>(unreadable);
    }
    if (splitter->TooLong() > 0) {
        file.dropped[QStringLiteral("value too long")] = splitter->TooLong();
    }
    return file;
}

QByteArrayView CsvHeader()
{
    // UTF-8 with a byte-order mark, so spreadsheets open it in the right encoding.
    return "\xEF\xBB\xBFName,Type,Home Phone,Mobile Phone,Business Phone,E-mail,QQ,MSN,ICQ,Web Page,"
           "Nickname,Company,Department,Job Title,Role,Birthday,Anniversary,Notes,"
           "Home Street,Home Extended Address,Home PO Box,Home City,Home State,Home Postal Code,Home Country,"
           "Work Street,Work Extended Address,Work PO Box,Work City,Work State,Work Postal Code,Work Country,"
           "Other Street,Other Extended Address,Other PO Box,Other City,Other State,Other Postal Code,Other Country,"
           "Address 1 - Type,Address 1 - Street,Address 1 - Extended Address,Address 1 - PO Box,Address 1 - City,"
           "Address 1 - Region,Address 1 - Postal Code,Address 1 - Country,"
           "Address 2 - Type,Address 2 - Street,Address 2 - Extended Address,Address 2 - PO Box,Address 2 - City,"
           "Address 2 - Region,Address 2 - Postal Code,Address 2 - Country,"
           "More Phones,More Web Pages,Messengers,Photo\r\n";
}

namespace {

// Addresses beyond the first of each type (a second home, say) go to numbered columns, typed as
// Google's export types them.
constexpr int MoreAddresses = 2;

// The details' columns of a row, after the record's. The first address of each type has columns of
// its own, further ones numbered columns; several phones, web addresses and messengers share a
// cell, one a line.
void AppendDetailColumns(QByteArray& out, const ContactDetails* d)
{
    constexpr int columns = 8 + 3 * 7 + MoreAddresses * 8 + 4;
    if (d == nullptr) {
        out.append(QByteArray(columns, ','));
        return;
    }
    QStringList cells{d->nicknames.join(u'\n'), d->organisation,         d->department, d->title, d->role,
                      d->birthday.ToText(),     d->anniversary.ToText(), d->note};
    QList<bool> written(d->addresses.size(), false);
    for (const char* type : {"home", "work", "other"}) {
        const auto it = std::find_if(d->addresses.begin(), d->addresses.end(),
                                     [type](const PostalAddress& a) { return a.type == QLatin1String(type); });
        PostalAddress a;
        if (it != d->addresses.end()) {
            a = *it;
            written[it - d->addresses.begin()] = true;
        }
        cells << a.street << a.extended << a.poBox << a.locality << a.region << a.postalCode << a.country;
    }
    int more = 0;
    for (qsizetype i = 0; i < d->addresses.size() && more < MoreAddresses; ++i) {
        if (!written[i]) {
            const PostalAddress& a = d->addresses[i];
            cells << a.type << a.street << a.extended << a.poBox << a.locality << a.region << a.postalCode << a.country;
            ++more;
        }
    }
    for (; more < MoreAddresses; ++more) {
        cells << QString() << QString() << QString() << QString() << QString() << QString() << QString() << QString();
    }
    const auto lines = [](const QList<TypedValue>& list, const QString& none) {
        QStringList joined;
        for (const TypedValue& v : list) {
            joined.append((v.type.isEmpty() || v.type.contains(u' ') ? none : v.type) + u' ' + v.value);
        }
        return joined.join(u'\n');
    };
    cells << lines(d->phones, QStringLiteral("other")) << lines(d->urls, QStringLiteral("-"))
          << lines(d->messengers, QStringLiteral("?"))
          << (d->photo.isEmpty() ? QString()
                                 : QStringLiteral("data:%1;base64,").arg(PhotoMimeType(d->photo)) +
                                       QString::fromLatin1(d->photo.toBase64()));
    for (const QString& cell : cells) {
        const QByteArray utf8 = cell.toUtf8();
        const qsizetype start = out.size();
        out.resize(start + 2 * utf8.size() + 3);
        char* at = out.data() + start;
        *at++ = ',';
        out.resize(PutField(at, utf8) - out.data());
    }
}

} // namespace

void AppendCsvRow(QByteArray& out, const ContactText& c)
{
    const QByteArrayView fields[] = {c.name,   c.category, c.homePhone, c.mobilePhone, c.workPhone,
                                     c.emails, c.qq,       c.msn,       c.icq,         c.url};
    qsizetype room = 32;
    for (const QByteArrayView field : fields) {
        room += 2 * field.size() + 3;
    }
    const qsizetype start = out.size();
    out.resize(start + room);
    char* at = out.data() + start;
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        if (i > 0) {
            *at++ = ',';
        }
        at = PutField(at, fields[i]);
    }
    out.resize(at - out.data());
    AppendDetailColumns(out, c.details);
    out.append("\r\n");
}

QByteArray WriteCsv(const QList<ContactCard>& cards)
{
    QByteArray out(CsvHeader().toByteArray());
    ContactUtf8 utf8;
    for (const ContactCard& card : cards) {
        AppendCsvRow(out, utf8.Of(card));
    }
    return out;
}
