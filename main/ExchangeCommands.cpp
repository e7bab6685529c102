#include "main/ExchangeCommands.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <optional>
#include <utility>

#include "book/AddressBook.h"
#include "core/AppState.h"
#include "core/Language.h"
#include "core/platform/LocalFile.h"
#include "exchange/ContactExchange.h"
#include "store/Connection.h"
#include "ui/BusyProgress.h"
#include "ui/Common.h"
#include "ui/Platform.h"

namespace {

// Labels of what an import leaves out, in the user's language; property names stay as they are.
QString Text(const char* key, const char* english)
{
    return GetLangString(QStringLiteral("frmMain"), QLatin1String(key), QLatin1String(english));
}

// What a vCard property holds, in words: the report names what was left out as the user knows it
// ("birthday"), not by the file's name for it ("BDAY"). Empty for a name not known here.
QString PropertyWords(const QString& property)
{
    static const char* const words[][3] = {
        {"ADR", "50100", "postal address"},
        {"BDAY", "50101", "birthday"},
        {"NOTE", "50102", "note"},
        {"ORG", "50103", "organisation"},
        {"TITLE", "50104", "job title"},
        {"ROLE", "50105", "role"},
        {"PHOTO", "50106", "photo"},
        {"LOGO", "50107", "logo"},
        {"NICKNAME", "50108", "nickname"},
        {"GEO", "50109", "location"},
        {"TZ", "50110", "time zone"},
        {"ANNIVERSARY", "50111", "anniversary"},
        {"GENDER", "50112", "gender"},
        {"LANG", "50113", "language"},
        {"MEMBER", "50114", "group member"},
        {"RELATED", "50115", "related person"},
        {"SOUND", "50116", "sound"},
        {"KEY", "50117", "public key"},
        {"LABEL", "50118", "address label"},
        {"AGENT", "50119", "agent"},
        {"X-ABLABEL", "50120", "label"},
        {"CALURI", "50121", "calendar"},
        {"FBURL", "50122", "free/busy address"},
        {"MAILER", "50123", "mail program"},
        {"SORT-STRING", "50124", "sort name"},
        {"N", "50125", "name"},
        {"FN", "50125", "name"},
        {"TEL", "50126", "phone"},
        {"EMAIL", "50127", "e-mail"},
        {"URL", "50128", "web address"},
        {"CATEGORIES", "50129", "category"},
        {"IMPP", "50130", "messenger"},
        {"X-QQ", "50131", "QQ"},
        {"X-MSN", "50132", "MSN"},
        {"X-ICQ", "50133", "ICQ"},
        {"SOURCE", "50134", "source"},
        {"KIND", "50135", "kind"},
        {"X-ANNIVERSARY", "50111", "anniversary"},
        {"X-GENDER", "50112", "gender"},
    };
    for (const auto& [name, key, english] : words) {
        if (property == QLatin1String(name)) {
            return Text(key, english);
        }
    }
    return {};
}

QString DroppedLabel(const QString& label)
{
    static const char* const keys[][2] = {
        {"second home phone", "50030"},
        {"second mobile phone", "50031"},
        {"second work phone", "50032"},
        {"other phone", "50033"},
        {"fax", "50034"},
        {"pager", "50035"},
        {"second web address", "50036"},
        {"second category", "50037"},
        {"second QQ", "50038"},
        {"second MSN", "50039"},
        {"second ICQ", "50040"},
        {"second name", "50041"},
        {"card without END", "50042"},
        {"unreadable line", "50043"},
        {"extra column", "50044"},
        {"unreadable character", "50047"},
        {"value too long", "50073"},
        {"PHOTO (over 1 MB)", "62000"},
        {"PHOTO (not JPEG or PNG)", "62001"},
        {"PHOTO (link)", "62002"},
        {"BDAY (not a date)", "62003"},
        {"ANNIVERSARY (not a date)", "62004"},
        {"X-ABDATE", "62005"},
    };
    const QString section = QStringLiteral("frmMain");
    for (const auto& [english, key] : keys) {
        if (label == QLatin1String(english)) {
            return GetLangString(section, QLatin1String(key), label);
        }
    }
    if (const QString property = PropertyWords(label); !property.isEmpty()) {
        return property;
    }
    // Labels that carry a property or service name: "EMAIL (unreadable text)", "IM (xmpp)".
    static const QRegularExpression unreadable(QStringLiteral("^(.+) \\(unreadable text\\)$"));
    static const QRegularExpression im(QStringLiteral("^IM \\((.+)\\)$"));
    static const QRegularExpression impp(QStringLiteral("^IMPP \\((.+)\\)$"));
    if (const QRegularExpressionMatch m = unreadable.match(label); m.hasMatch()) {
        const QString property = PropertyWords(m.captured(1));
        return GetLangString(section, QStringLiteral("50048"), QStringLiteral("%1 (unreadable text)"))
            .arg(property.isEmpty() ? m.captured(1) : property);
    }
    if (const QRegularExpressionMatch m = im.match(label); m.hasMatch()) {
        return GetLangString(section, QStringLiteral("50049"), QStringLiteral("IM (%1)")).arg(m.captured(1));
    }
    if (const QRegularExpressionMatch m = impp.match(label); m.hasMatch()) {
        return GetLangString(section, QStringLiteral("50049"), QStringLiteral("IM (%1)")).arg(m.captured(1));
    }
    return label;
}

} // namespace

ExchangeCommands::ExchangeCommands(QWidget* window) : m_window(window) {}

std::optional<qint64> ExchangeCommands::Import(const QString& title, const QString& defaultType)
{
    const QString fileName = ThePlatform().ChooseOpenFile(
        m_window, title, Text("50010", "Contacts") + QStringLiteral(" (*.vcf *.vcard *.csv)"));
    if (fileName.isEmpty()) {
        return std::nullopt;
    }
    return ImportFile(fileName, defaultType);
}

std::optional<qint64> ExchangeCommands::ImportFile(const QString& fileName, const QString& defaultType)
{
    return ImportFiles({fileName}, defaultType);
}

namespace {

// One file of an import as read: its contacts, or why there are none.
struct FileRead
{
    QString shownName;
    ContactFile contacts;
    QString problem;     // a message naming the file, empty when it was read
    qsizetype count = 0; // contacts read
};

// Reads one file a piece at a time, refusing anything that is not a regular file before opening
// it: only the contacts must fit in memory, not the file, and a named pipe never blocks the window.
FileRead ReadOneFile(const QString& fileName, const ReadProgress& progress)
{
    FileRead read;
    read.shownName = FileNameForDisplay(QFileInfo(fileName).fileName());
    QFile file;
    const OpenFileResult opened = OpenRegularFile(fileName, file);
    if (opened == OpenFileResult::NotRegular) {
        read.problem = Text("50071", "Not a file that can be imported: %1").arg(read.shownName);
        return read;
    }
    if (opened != OpenFileResult::Opened || file.size() > MaxContactFileBytes()) {
        read.problem = Text("50024", "The file could not be read: %1").arg(read.shownName);
        return read;
    }
    read.contacts = ReadContactFile(file, progress);
    read.count = read.contacts.cards.size();
    if (read.contacts.cancelled) {
        return read;
    }
    if (read.contacts.error == QLatin1String("too large")) {
        read.problem = Text("50024", "The file could not be read: %1").arg(read.shownName);
    } else if (!read.contacts.error.isEmpty() || read.contacts.cards.isEmpty()) {
        read.problem = Text("50019", "The file holds no contacts that can be read.");
    }
    return read;
}

// "%count% contacts" in English with its singular; languages without plurals give both alike.
QString Counted(qsizetype n, const char* key, const char* english, const char* englishOne)
{
    return GetCountString(QStringLiteral("frmMain"), QLatin1String(key), QLatin1String(english),
                          QLatin1String(englishOne), n);
}

// A file's line in the question about several: what it gave, or why it gave nothing.
QString FileLine(const FileRead& read)
{
    if (read.problem.contains(read.shownName)) {
        return read.problem;
    }
    return read.shownName + QStringLiteral(": ") +
           (read.problem.isEmpty() ? Counted(read.count, "50072", "%count% contacts read", "%count% contact read")
                                   : read.problem);
}

// The encoding a file was read in, when it was chosen on weak evidence, for the user to judge.
QString EncodingNote(const ContactFile& contacts)
{
    if (!contacts.encodingGuessed) {
        return {};
    }
    static const std::pair<const char*, const char*> names[] = {
        {"CP1252", "Windows-1252"}, {"CP1250", "Windows-1250"}, {"CP1251", "Windows-1251"},
        {"CP1253", "Windows-1253"}, {"CP1255", "Windows-1255"}, {"MACINTOSH", "Mac OS Roman"},
        {"GB18030", "GB18030"},     {"BIG5", "Big5"},
    };
    QString encoding = QString::fromLatin1(contacts.encoding);
    for (const auto& [iconv, shown] : names) {
        if (contacts.encoding == iconv) {
            encoding = QLatin1String(shown);
        }
    }
    return Text("50070", "The file does not name its text encoding; it was read as %encoding%, which gives "
                         "\"%example%\". Cancel if that is wrong.")
        .replace(QLatin1String("%encoding%"), encoding)
        .replace(QLatin1String("%example%"), contacts.encodingExample);
}

} // namespace

std::optional<qint64> ExchangeCommands::ImportFiles(const QStringList& fileNames, const QString& defaultType)
{
    if (fileNames.isEmpty()) {
        return std::nullopt;
    }
    // All files are read and matched against the book before the one question, under one
    // progress dialog; nothing is written yet, so this can stop at any time.
    std::optional<BusyProgress> busy(std::in_place, m_window, Text("51002", "Reading the file..."),
                                     Text("50026", "Cancel"));
    QList<FileRead> reads;
    const qint64 files = fileNames.size();
    for (qint64 i = 0; i < files; ++i) {
        // Each file's share of the bar; a single file reports its bytes as they are.
        const ReadProgress progress = [&busy, i, files](qint64 done, qint64 total) {
            if (files == 1) {
                return busy->Step(done, total);
            }
            const qint64 part = total > 0 ? done * 1000 / total : 0;
            return busy->Step(i * 1000 + part, files * 1000);
        };
        reads.append(ReadOneFile(fileNames[static_cast<qsizetype>(i)], progress));
        if (reads.last().contacts.cancelled || !busy->Step((i + 1) * 1000, files * 1000)) {
            return std::nullopt;
        }
    }
    ContactFile contacts;
    for (FileRead& read : reads) {
        if (contacts.cards.isEmpty()) {
            contacts.cards = std::exchange(read.contacts.cards, {});
        } else {
            contacts.cards += std::exchange(read.contacts.cards, {});
        }
        for (auto it = read.contacts.dropped.constBegin(); it != read.contacts.dropped.constEnd(); ++it) {
            contacts.dropped[it.key()] += it.value();
        }
    }
    if (reads.size() == 1 && !reads.first().problem.isEmpty()) {
        busy.reset();
        MsgWarning(m_window, reads.first().problem);
        return std::nullopt;
    }
    if (contacts.cards.isEmpty()) {
        busy.reset();
        QStringList lines{Text("50019", "The file holds no contacts that can be read.")};
        if (reads.size() > 1) {
            for (const FileRead& read : reads) {
                lines << FileLine(read);
            }
        }
        MsgWarning(m_window, lines.join(QLatin1Char('\n')));
        return std::nullopt;
    }
    const ImportPlan plan =
        PlanImport(Conn, contacts, defaultType.isEmpty() ? Text("50011", "Imported") : defaultType, busy->Callback());
    busy.reset();
    if (plan.cancelled) {
        return std::nullopt;
    }

    // One question that says everything before anything is written.
    QStringList lines;
    lines << Counted(plan.toAdd.size(), "50012", "Import %count% contacts?", "Import %count% contact?");
    // With several files, a line for each: what it gave, or why it gave nothing.
    for (const FileRead& read : reads) {
        if (reads.size() > 1) {
            lines << FileLine(read);
        }
        if (const QString note = EncodingNote(read.contacts); !note.isEmpty()) {
            lines << (reads.size() > 1 ? read.shownName + QStringLiteral(": ") + note : note);
        }
    }
    QStringList types;
    for (auto it = plan.perType.constBegin(); it != plan.perType.constEnd(); ++it) {
        types << QStringLiteral("%1 (%2%3)")
                     .arg(it.key())
                     .arg(it.value())
                     .arg(plan.newTypes.contains(it.key()) ? QStringLiteral(", ") + Text("50014", "new") : QString());
    }
    if (!types.isEmpty()) {
        lines << Text("50013", "Types: %list%").replace(QLatin1String("%list%"), types.join(QStringLiteral(", ")));
    }
    auto count = [&](int n, const char* key, const char* english) {
        if (n > 0) {
            lines << Text(key, english).replace(QLatin1String("%count%"), QString::number(n));
        }
    };
    count(plan.alreadyThere, "50015", "Skipped, the name is already in the address book: %count%");
    count(plan.unnamed, "50016", "Skipped, no name: %count%");
    count(plan.unstorable, "50018", "Skipped, a value this system cannot store: %count%");
    // Values in a character set nobody knows are kept, read as the file's own text: said apart
    // from what is not kept.
    QMap<QString, int> dropped = plan.dropped;
    count(dropped.take(QStringLiteral("unknown character set")), "50046",
          "Read as the file's own text, their character set being unknown: %count%");
    if (!dropped.isEmpty()) {
        QStringList labels;
        for (auto it = dropped.constBegin(); it != dropped.constEnd(); ++it) {
            labels << QStringLiteral("%1 %2").arg(DroppedLabel(it.key())).arg(it.value());
        }
        lines << Text("50017", "Not kept: %list%").replace(QLatin1String("%list%"), labels.join(QStringLiteral(", ")));
    }
    if (plan.toAdd.isEmpty()) {
        lines.first() = Text("50020", "There is nothing to import.");
        MsgInformation(m_window, lines.join(QLatin1Char('\n')));
        return std::nullopt;
    }
    const bool confirmed = MsgConfirm(m_window, lines.join(QLatin1Char('\n')));
    PlaySoundRes(SoundClick);
    if (!confirmed) {
        return std::nullopt;
    }
    // One transaction: a cancel leaves the book as it was.
    BusyProgress writing(m_window, Text("50021", "Importing contacts..."), Text("50026", "Cancel"));
    return TheBook().Import(plan, writing.Callback());
}

void ExchangeCommands::Export(const QString& title, const Scope& scope)
{
    const QStringList filters = {QStringLiteral("vCard 4.0 (*.vcf)"), QStringLiteral("vCard 3.0 (*.vcf)"),
                                 QStringLiteral("CSV (*.csv)")};
    QString filter;
    QString fileName = ThePlatform().ChooseSaveFile(m_window, title, filters, &filter);
    if (fileName.isEmpty()) {
        return;
    }
    const bool csv = filter == filters[2];
    if (QFileInfo(fileName).suffix().isEmpty()) {
        fileName += csv ? QStringLiteral(".csv") : QStringLiteral(".vcf");
    }
    const ContactFormat format = csv                    ? ContactFormat::Csv
                                 : filter == filters[1] ? ContactFormat::VCard30
                                                        : ContactFormat::VCard40;
    // Written beside the target and renamed: a failure or a cancel leaves any existing file as it was.
    QSaveFile out(fileName);
    ExportResult result;
    bool written = false;
    // An export is a copy of the address book: it is its owner's alone, set before a byte is written.
    if (out.open(QIODevice::WriteOnly) && out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        BusyProgress busy(m_window, Text("50022", "Exporting contacts..."), Text("50026", "Cancel"));
        result = WriteContacts(Conn, out, format, scope.ids ? std::nullopt : scope.typeNo,
                               scope.ids ? &*scope.ids : nullptr, busy.Callback());
        // A buffered write succeeds on a full disk; only the flush finds out.
        written = !result.cancelled && !result.failed && out.flush() && out.commit();
    }
    if (!written) {
        // The cause must be taken before cancelling: cancelling resets it.
        const QString error = out.errorString();
        out.cancelWriting();
        if (!result.cancelled) {
            MsgWarning(m_window, Text("50023", "The file could not be written: %1").arg(error));
        }
        return;
    }
    MsgInformation(m_window, Counted(result.count, "50025", "%count% contacts exported.", "%count% contact exported."));
}
