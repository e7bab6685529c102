#include "main/ExchangeCommands.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include "core/AppState.h"
#include "core/Language.h"
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
    };
    const QString section = QStringLiteral("frmMain");
    for (const auto& [english, key] : keys) {
        if (label == QLatin1String(english)) {
            return GetLangString(section, QLatin1String(key), label);
        }
    }
    // Labels that carry a property or service name: "EMAIL (unreadable text)", "IM (xmpp)".
    static const QRegularExpression unreadable(QStringLiteral("^(.+) \\(unreadable text\\)$"));
    static const QRegularExpression im(QStringLiteral("^IM \\((.+)\\)$"));
    if (const QRegularExpressionMatch m = unreadable.match(label); m.hasMatch()) {
        return GetLangString(section, QStringLiteral("50048"), QStringLiteral("%1 (unreadable text)"))
            .arg(m.captured(1));
    }
    if (const QRegularExpressionMatch m = im.match(label); m.hasMatch()) {
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
    // A vCard file is read a piece at a time: only the contacts must fit in memory, not the file.
    QFile file(fileName);
    const QString unreadable = Text("50024", "The file could not be read: %1").arg(QFileInfo(fileName).fileName());
    if (QFileInfo(fileName).size() > MaxContactFileBytes() || !file.open(QIODevice::ReadOnly)) {
        MsgWarning(m_window, unreadable);
        return std::nullopt;
    }
    ContactFile contacts;
    {
        // Nothing is written yet, so reading can stop at any time.
        BusyProgress busy(m_window, Text("51002", "Reading the file..."), Text("50026", "Cancel"));
        contacts = ReadContactFile(file, busy.Callback());
    }
    if (contacts.cancelled) {
        return std::nullopt;
    }
    if (contacts.error == QLatin1String("too large")) {
        MsgWarning(m_window, unreadable);
        return std::nullopt;
    }
    if (!contacts.error.isEmpty() || contacts.cards.isEmpty()) {
        MsgWarning(m_window, Text("50019", "The file holds no contacts that can be read."));
        return std::nullopt;
    }
    ImportPlan plan;
    {
        WaitCursor wait;
        plan = PlanImport(Conn, contacts, defaultType.isEmpty() ? Text("50011", "Imported") : defaultType);
    }

    // One question that says everything before anything is written.
    QStringList lines;
    lines << Text("50012", "Import %count% contacts?")
                 .replace(QLatin1String("%count%"), QString::number(plan.toAdd.size()));
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
    BusyProgress busy(m_window, Text("50021", "Importing contacts..."), Text("50026", "Cancel"));
    return ExecuteImport(Conn, plan, busy.Callback());
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
    MsgInformation(
        m_window,
        Text("50025", "%count% contacts exported.").replace(QLatin1String("%count%"), QString::number(result.count)));
}
