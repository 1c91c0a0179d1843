#pragma once

#include "app/StationModel.h"

#include <QByteArray>
#include <QFrame>
#include <QProcess>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

// One bench port of the station window: its station runs as a child process
// of this program (`configure ... --repeat --events`), whose events the panel
// reads and draws large enough to be read from two metres, each state in a
// word as well as a colour. Serial numbers from the scanner are handed to it
// when its unit asks for one.
class StationPanel : public QFrame {
    Q_OBJECT
public:
    // `tool`: the program to run; `arguments`: the child's command line.
    StationPanel(const QString& port, const QString& tool, const QStringList& arguments, QWidget* parent = nullptr);
    ~StationPanel() override;

    void Start();
    // The first signal a terminal's Ctrl-C would send: the unit in progress
    // ends and records, then the station ends; sent again, it is abandoned.
    void Interrupt();
    bool Running() const { return child_.state() != QProcess::NotRunning; }
    bool UnitRunning() const { return Running() && model_.look == StationView::Look::Running; }
    bool WaitsForSerial() const { return Running() && model_.waitsForSerial; }
    // Hands `serial` to the unit that asked for it.
    void GiveSerial(const QString& serial);
    const StationView::PanelModel& Model() const { return model_; }
    // While closing, an ended child is no fault to show.
    void SetClosing(bool closing) { closing_ = closing; }

signals:
    void changed();
    void asksForSerial();
    void ended();

private:
    void ReadEvents();
    void ReadWords();
    void Finished();
    void Draw();

    QString tool_;
    QStringList arguments_;
    QProcess child_;
    StationView::PanelModel model_;
    QByteArray pending_;
    QStringList lastWords_;
    bool closing_ = false;
    QLabel* title_;
    QLabel* device_;
    QLabel* state_;
    QLabel* detail_;
    QLabel* serial_;
    QLabel* counts_;
    QListWidget* last_;
    QPushButton* restart_;
};
