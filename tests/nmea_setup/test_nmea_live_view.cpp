// The live NMEA view in real time, with the simulated receiver on a real
// pseudo-terminal streaming sentences: what the operator sees, also while a
// result message is held open.
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
#include <QTextBlock>
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

bool ValidSentence(const QString& line)
{
    if (!line.startsWith(QLatin1Char('$')) || line.size() < 4 || line[line.size() - 3] != QLatin1Char('*'))
        return false;
    quint8 sum = 0;
    for (qsizetype i = 1; i < line.size() - 3; ++i)
        sum ^= static_cast<quint8>(line[i].toLatin1());
    return line.right(2).toUpper() == QStringLiteral("%1").arg(sum, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

class TestNmeaLiveView : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void showsTheLatestSentences();
    void emptiesWhileThePortIsClosed();
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

void TestNmeaLiveView::showsTheLatestSentences()
{
    // The five rows streaming on the link show "5Hz".
    const auto lists = window_->findChildren<QComboBox*>(QStringLiteral("UpdateRate"));
    int fiveHz = 0;
    for (QComboBox* list : lists)
        fiveHz += list->currentText() == QStringLiteral("5Hz");
    QCOMPARE(fiveHz, 5);

    QPlainTextEdit* view = Text1(window_);
    // Once more than 13 lines have come, the view holds an empty first line,
    // twelve whole sentences and the one arriving (possibly nothing yet).
    QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().split(QLatin1Char('\n')).size() == 14, 10000);
    for (int sample = 0; sample < 5; ++sample) {
        const QStringList lines = view->toPlainText().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 14);
        QVERIFY(lines.first().isEmpty());
        for (int i = 1; i <= 12; ++i)
            QVERIFY2(ValidSentence(lines[i]), qPrintable(lines[i]));
        // The newest whole sentence is on screen.
        const QTextBlock newest = view->document()->findBlockByNumber(view->document()->blockCount() - 2);
        QVERIFY(view->viewport()->rect().contains(view->cursorRect(QTextCursor(newest))));
        QTest::qWait(150);
    }
    const QString text = view->toPlainText();
    for (const char* talker : {"$GPGGA", "$GPGLL", "$GPGSA", "$GPRMC", "$GPVTG"})
        QVERIFY2(text.contains(QLatin1String(talker)), talker);
}

void TestNmeaLiveView::emptiesWhileThePortIsClosed()
{
    QPlainTextEdit* view = Text1(window_);
    QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().contains(QStringLiteral("$GP")), 5000);
    CommsFrm::SerialPort().SetPortOpen(false);
    QTRY_VERIFY_WITH_TIMEOUT(view->toPlainText().isEmpty(), 2000);
    QTest::qWait(300);
    QVERIFY(view->toPlainText().isEmpty());
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
