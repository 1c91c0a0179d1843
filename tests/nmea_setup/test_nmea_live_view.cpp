// The live NMEA view in real time, with the simulated receiver on a real
// pseudo-terminal streaming sentences, while a result message is held open:
// the box's own event loop must keep the view running.
#include "harness/MessageRecorder.h"
#include "harness/PtySim.h"
#include "link/CommsFrm.h"
#include "nmea_setup/ShowNmeaSetup.h"
#include "support/Forms.h"
#include "WindowControls.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using VarnexSim::Key;
using namespace WindowControls;

namespace {

constexpr int kLinkPort = 1;

// Five sentences at each of five solutions a second on the link port.
VarnexSim::ReceiverConfig Streaming(VarnexSim::ReceiverConfig config)
{
    config.measRateMs = 200;
    config.navRate = 1;
    config.msgRates.clear();
    for (quint8 id : {0, 1, 2, 4, 5})
        config.SetRate(Key(0xF0, id), kLinkPort, 1);
    return config;
}

} // namespace

class TestNmeaLiveView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void viewRunsWhileAResultIsShown_data();
    void viewRunsWhileAResultIsShown();

private:
    std::unique_ptr<MessageRecorder> messages_; // no box ever waits for a click
    std::unique_ptr<PtySim> sim_;
    QWidget* window_ = nullptr;
};

void TestNmeaLiveView::init()
{
    messages_ = std::make_unique<MessageRecorder>();
    VarnexSim::ModelOptions options;
    options.linkPort = kLinkPort;
    options.startBaud = 115200;
    sim_ = std::make_unique<PtySim>(1, options);
    QVERIFY2(sim_->IsValid(), qPrintable(sim_->Error()));
    sim_->SetRunning(Streaming(sim_->Running()));
    SerialControl& port = CommsFrm::SerialPort();
    port.SetCommPort(1);
    port.SetSettings(QStringLiteral("115200,N,8,1"));
    QVERIFY2(port.SetPortOpen(true), qPrintable(port.LastError()));
    NmeaSetup::ShowNmeaSetup(kLinkPort);
    window_ = Forms::Find(QStringLiteral("SetupScreenfrm"));
    QVERIFY(window_);
}

void TestNmeaLiveView::cleanup()
{
    Forms::Unload(Forms::Find(QStringLiteral("SetupScreenfrm")));
    CommsFrm::Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    sim_.reset();
    window_ = nullptr;
    messages_.reset();
}

void TestNmeaLiveView::viewRunsWhileAResultIsShown_data()
{
    QTest::addColumn<QString>("baud"); // empty: "Save Setup"
    QTest::newRow("Save Setup") << QString();
    QTest::newRow("baud change to the rate in use") << QStringLiteral("115200");
}

void TestNmeaLiveView::viewRunsWhileAResultIsShown()
{
    QFETCH(QString, baud);
    QPlainTextEdit* view = Text1(window_);
    QString shown;
    // The operator reads the result for half a second before pressing OK.
    messages_.reset();
    messages_ = std::make_unique<MessageRecorder>([&](const QString&) {
        QTest::qWait(500);
        shown = view->toPlainText();
    });
    if (baud.isEmpty())
        QTest::mouseClick(window_->findChild<QPushButton*>(QStringLiteral("ReflashBtn")), Qt::LeftButton);
    else
        QVERIFY(Choose(window_->findChild<QComboBox*>(QStringLiteral("OutputBaud")), baud));
    QCOMPARE(messages_->texts.size(), 1);
    QVERIFY2(shown.contains(QStringLiteral("$GP")), qPrintable(shown));
}

QTEST_MAIN(TestNmeaLiveView)
#include "test_nmea_live_view.moc"
