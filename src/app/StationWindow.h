#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include <optional>

class QGridLayout;
class QLabel;
class QLineEdit;
class QMessageBox;
class StationPanel;

// The station window, "VarnexConfig Station": one panel per bench port (up
// to eight), all with the same device or profile, each port's station a
// child process of this program, so that no port's waits freeze the window
// or another port. Serial numbers from a barcode scanner go to the panel
// whose unit asks for one, in the order they asked. The main window is not
// involved.
class StationWindow : public QWidget {
    Q_OBJECT
public:
    struct Options {
        QStringList ports;    // as --port gives them: numbers or device paths
        QString device;       // a built-in device's name, or empty with a profile
        QString profile;      // --profile FILE
        bool fast = false, verify = false, scanner = false;
        QString report, record;
        QString tool;         // the program each station runs as
    };
    static constexpr int kMaxPorts = 8;

    // `args`: what follows "station" on the command line. Nothing, with
    // `error` (or the usage, for --help), when it cannot run.
    static std::optional<Options> Parse(const QStringList& args, QString& error);
    // The command line of the station on `port`.
    static QStringList StationArguments(const Options& options, const QString& port);

    explicit StationWindow(Options options, QWidget* parent = nullptr);
    // SIGINT, SIGTERM and SIGHUP become close requests of `window` (the
    // first lets the units finish, the second abandons them), so that a
    // station window ended from a terminal leaves no station running.
    static void CloseOnSignals(StationWindow& window);
    QList<StationPanel*> Panels() const { return panels_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void StartPorts(const QStringList& ports);
    void BuildChooser();
    void Scanned();
    void Refuse(const QString& why);
    void Ended();
    void Interrupted();

    Options options_;
    QGridLayout* grid_;
    QWidget* chooser_ = nullptr;
    QLineEdit* scan_ = nullptr;
    QLabel* scanWord_ = nullptr;
    QList<StationPanel*> panels_;
    QList<StationPanel*> asking_; // panels whose unit waits for a serial, in the order they asked
    int closeRequests_ = 0;
    QMessageBox* question_ = nullptr; // the question before the first close, while it is up
    bool fromSignal_ = false;
};
