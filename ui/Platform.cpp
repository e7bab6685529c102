#include "ui/Platform.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QtEndian>

#include <memory>

namespace {

// Plays a WAV file held in memory. The bytes of the sound playing stay alive in the buffer until
// the next sound has started.
class SoundPlayer
{
public:
    void Play(int id)
    {
        QFile file(QStringLiteral(":/sounds/%1.wav").arg(id));
        if (!file.open(QIODevice::ReadOnly)) {
            return;
        }
        const QByteArray wav = file.readAll();
        QAudioFormat format;
        qsizetype dataOffset = 0;
        if (!ParseWav(wav, &format, &dataOffset)) {
            return;
        }
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull() || !device.isFormatSupported(format)) {
            return; // no sound card: silence, never an error
        }
        auto buffer = std::make_unique<QBuffer>();
        buffer->setData(wav.mid(dataOffset));
        buffer->open(QIODevice::ReadOnly);
        auto sink = std::make_unique<QAudioSink>(device, format);
        if (m_sink) {
            m_sink->stop();
        }
        sink->start(buffer.get());
        m_sink = std::move(sink);
        m_buffer = std::move(buffer); // the previous sound's bytes go only now
    }

private:
    static bool ParseWav(const QByteArray& wav, QAudioFormat* format, qsizetype* dataOffset)
    {
        if (wav.size() < 44 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE") {
            return false;
        }
        qsizetype pos = 12;
        bool haveFormat = false;
        while (pos + 8 <= wav.size()) {
            const QByteArray id = wav.mid(pos, 4);
            const auto size = qFromLittleEndian<quint32>(wav.constData() + pos + 4);
            const qsizetype body = pos + 8;
            if (id == "fmt " && body + 16 <= wav.size()) {
                format->setChannelCount(qFromLittleEndian<quint16>(wav.constData() + body + 2));
                format->setSampleRate(static_cast<int>(qFromLittleEndian<quint32>(wav.constData() + body + 4)));
                const auto bits = qFromLittleEndian<quint16>(wav.constData() + body + 14);
                format->setSampleFormat(bits == 8 ? QAudioFormat::UInt8 : QAudioFormat::Int16);
                haveFormat = true;
            } else if (id == "data") {
                *dataOffset = body;
                return haveFormat;
            }
            pos = body + static_cast<qsizetype>(size) + (size & 1u);
        }
        return false;
    }

    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<QBuffer> m_buffer;
};

class DesktopPlatform final : public Platform
{
public:
    MsgResult MessageBox(QWidget* parent, const QString& text, const QString& title, MsgIcon icon,
                         MsgButtons buttons) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(title);
        box.setText(text);
        box.setIcon(icon == MsgIcon::Information ? QMessageBox::Information
                    : icon == MsgIcon::Warning   ? QMessageBox::Warning
                    : icon == MsgIcon::Question  ? QMessageBox::Question
                                                 : QMessageBox::Critical);
        if (buttons == MsgButtons::OkCancel) {
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Cancel);
        } else {
            box.setStandardButtons(QMessageBox::Ok);
        }
        return box.exec() == QMessageBox::Ok ? MsgResult::Ok : MsgResult::Cancel;
    }

    MsgResult MessageBoxWithOther(QWidget* parent, const QString& text, const QString& title,
                                  const QString& other) override
    {
        QMessageBox box(parent);
        box.setWindowTitle(title);
        box.setText(text);
        box.setIcon(QMessageBox::Question);
        QPushButton* ok = box.addButton(QMessageBox::Ok);
        QPushButton* third = box.addButton(other, QMessageBox::ActionRole);
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(cancel);
        box.setEscapeButton(cancel);
        box.exec();
        const QAbstractButton* clicked = box.clickedButton();
        return clicked == ok ? MsgResult::Ok : clicked == third ? MsgResult::Other : MsgResult::Cancel;
    }

    std::optional<int> ChooseItem(QWidget* parent, const QString& title, const QString& prompt,
                                  const QStringList& items) override
    {
        bool given = false;
        const QString item = QInputDialog::getItem(parent, title, prompt, items, 0, false, &given);
        const auto index = static_cast<int>(items.indexOf(item));
        return given && index >= 0 ? std::optional<int>(index) : std::nullopt;
    }

    void PlaySound(int id) override { m_player.Play(id); }

    QString ChooseFolder(QWidget* parent, const QString& prompt, const QString& startFolder) override
    {
        return QFileDialog::getExistingDirectory(parent, prompt, startFolder);
    }

    QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter) override
    {
        return QFileDialog::getOpenFileName(parent, title, QString(), filter);
    }

    QString ChooseSaveFile(QWidget* parent, const QString& title, const QStringList& filters,
                           QString* selectedFilter) override
    {
        return QFileDialog::getSaveFileName(parent, title, QString(), filters.join(QStringLiteral(";;")),
                                            selectedFilter);
    }

    std::optional<QString> AskPassword(QWidget* parent, const QString& title, const QString& prompt) override
    {
        bool given = false;
        const QString password = QInputDialog::getText(parent, title, prompt, QLineEdit::Password, QString(), &given);
        return given ? std::optional<QString>(password) : std::nullopt;
    }

    void OpenUrl(const QUrl& url) override { QDesktopServices::openUrl(url); }

    void PrintPreview(QWidget* parent, const std::function<void(QPrinter*)>& render) override
    {
        QPrinter printer(QPrinter::HighResolution);
        QPrintPreviewDialog preview(&printer, parent);
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                         [&render](QPrinter* target) { render(target); });
        preview.exec();
    }

private:
    SoundPlayer m_player;
};

Platform* g_override = nullptr;

} // namespace

Platform& ThePlatform()
{
    if (g_override != nullptr) {
        return *g_override;
    }
    static DesktopPlatform desktop;
    return desktop;
}

void SetPlatform(Platform* platform)
{
    g_override = platform;
}
