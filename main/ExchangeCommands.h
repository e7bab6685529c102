#pragma once

#include <QSet>
#include <QString>

#include <optional>

class QWidget;

// The import and export commands: the file chooser, the one question before an import, the
// progress while contacts go in or out, and the messages after. The window decides what an
// export covers and shows the result of an import; everything between is here.
class ExchangeCommands
{
public:
    // What an export writes: the records with these ids, or every record of one type, or (with
    // neither) every record of the book.
    struct Scope
    {
        std::optional<QSet<qint64>> ids;
        std::optional<qint64> typeNo;
    };

    // Messages, choosers and the progress dialog belong to this window.
    explicit ExchangeCommands(QWidget* window);

    // Asks for a contact file and imports it as ImportFile does.
    std::optional<qint64> Import(const QString& title, const QString& defaultType);
    // Reads a vCard or CSV file, says what an import would do and, once confirmed, adds the
    // contacts; those without a type go under defaultType. Returns the first type that received
    // contacts, or nothing when nothing was added. Throws what the book throws.
    std::optional<qint64> ImportFile(const QString& fileName, const QString& defaultType);
    // The same for several files at once: all are read first, then one question says what each
    // gave and what the import would do, and one transaction adds the contacts of all.
    std::optional<qint64> ImportFiles(const QStringList& fileNames, const QString& defaultType);
    // Asks for a target file and format and writes the contacts of the scope to it.
    void Export(const QString& title, const Scope& scope);

private:
    QWidget* m_window;
};
