// The number in a list entry, as the port and baud lists read it.
#include "support/SupportFunctions.h"

#include <QtTest>

class TestSupport : public QObject {
    Q_OBJECT
private slots:
    void extractNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<float>("expected");
        QTest::newRow("two-digit port") << "Serial Port 12" << 12.0f;
        QTest::newRow("baud list entry") << "115200" << 115200.0f;
        QTest::newRow("empty list") << "" << 0.0f;
    }
    void extractNumber()
    {
        QFETCH(QString, text);
        QTEST(SupportFunctions::ExtractNumber(text), "expected");
    }
};

QTEST_APPLESS_MAIN(TestSupport)
#include "test_support.moc"
