#pragma once

#include "ReceiverModel.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The receiver model behind a real pseudo-terminal: the tool opens the slave
// side through a `comN` link in a ports folder, the model answers on the
// master side from a thread of its own. The model is only touched under a
// lock, so tests can read the transcript and change faults while it runs.
namespace VarnexSim {

class PtyReceiverSim {
public:
    struct Options {
        QString portsDir;     // folder that receives the comN link
        int com = 1;          // N of comN
        ModelOptions model;
        // A link of its own between comN and the pty, as a udev rule's
        // SYMLINK for a receiver with its own USB port: comN leads to it for
        // good, and it leads to the board's pty while a board is plugged in
        // (each board a pty of its own). Empty: comN leads to the pty itself.
        QString stableName;
    };

    explicit PtyReceiverSim(const Options& options);
    ~PtyReceiverSim();
    PtyReceiverSim(const PtyReceiverSim&) = delete;
    PtyReceiverSim& operator=(const PtyReceiverSim&) = delete;

    // Creates the pty, the comN link and the thread. False with `error` filled on failure.
    bool Start(QString& error);
    // Stops the thread, closes the pty and removes the link. Safe to call twice.
    void Stop();
    bool Running() const { return thread_.joinable(); }

    // Absolute path of the comN link, the name the tool opens.
    QString DevicePath() const;
    // The link that leads to the pty: the stable name when there is one, else comN.
    QString PtyLink() const;
    // The pty's slave device the link points at now ("" while unplugged).
    QString SlavePath() const;
    QString FlashPath() const { return flashPath_; }

    // Runs `f` on the model under the lock.
    template <typename F>
    auto WithModel(F&& f)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return f(*model_);
    }
    std::vector<TranscriptEntry> Transcript() const;
    QStringList FramesFromPc() const;
    Faults GetFaults() const;
    void SetFaults(const Faults& faults);
    // The adapter pulled out: the tool's open port sees EIO/hang-up, the link disappears.
    void Unplug();
    // Plugged back in: a fresh pty behind the same comN link.
    void Replug();

    // Seconds on the transport's clock (the steady clock), as logged in the transcript.
    static double Now();

private:
    bool OpenPty(QString& error);
    void ClosePty();
    bool MapLink(QString& error);
    void Run();
    void Serve();
    void FollowPlug(double now);

    Options options_;
    QString flashPath_;
    std::unique_ptr<ReceiverModel> model_;
    mutable std::mutex mutex_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    int wakePipe_[2] = {-1, -1};
    int master_ = -1;
    int ownSlave_ = -1; // keeps the slave side held so the master never sees a hang-up
    QString slavePath_;
    mutable std::mutex pathMutex_;
    qint32 sessionBaud_ = 0; // rate of the tool's current (or just closed) session; 0 unknown
};

} // namespace VarnexSim
