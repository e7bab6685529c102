#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class Connection;

// A long read of the book on a thread of its own, through a connection of its own that is opened
// once (deriving its key takes a moment) and kept for the next read. One read at a time: starting
// another abandons the one under way. What the read hands to the window goes by queued calls that
// a read abandoned meanwhile never reaches, so the window only ever sees the read it asked for.
class BackgroundReader : public QObject
{
public:
    // One read: whether the window abandoned it. The reading thread looks at it often.
    class Run
    {
    public:
        bool Stopped() const { return m_stop; }
        // Leaves the read's body at once when the window abandoned it.
        void ThrowIfStopped() const
        {
            if (m_stop) {
                throw Abandoned{};
            }
        }

    private:
        struct Abandoned
        {
        };
        std::atomic<bool> m_stop{false};
        friend class BackgroundReader;
    };
    using RunPtr = std::shared_ptr<const Run>;

    // Opens the reader's own connection to conn's book on the thread, ahead of the first read, so
    // that the first read does not wait for its key to be derived; then runs ready there, if
    // given. Does nothing while a connection is open or opening.
    void Prepare(const Connection& conn, std::function<void()> ready = {});
    // Abandons the read under way, if any, and waits for its thread.
    void Stop();
    // Stops, and closes the reader's own connection (after a restore or compaction replaced the
    // book).
    void Forget();
    bool IsRunning() const { return m_running; }

protected:
    using Read = std::function<void(Connection& reader, const RunPtr& run)>;
    using Done = std::function<void(const QString& error)>;

    explicit BackgroundReader(QObject* parent = nullptr);
    // Readers stop in their own destructors, before the members their reads hand over to go.
    ~BackgroundReader() override;

    // Abandons the read under way and starts read on conn's book. When it returns (or throws),
    // done runs on the window's thread with the error, empty when it read through; the thread has
    // ended by then and a failed reader's connection is opened again for the next read. Neither
    // runs for a read abandoned meanwhile.
    void Begin(const Connection& conn, Read read, Done done);
    // Runs fn on the window's thread, unless run has been abandoned by then.
    void Post(const RunPtr& run, std::function<void()> fn);

private:
    std::shared_ptr<Run> m_run;
    std::thread m_thread;
    std::unique_ptr<Connection> m_reader;
    bool m_readerOpen = false; // m_reader is open; written by the thread before it is joined
    bool m_running = false;
};
