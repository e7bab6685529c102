#include <QtTest>
class T : public QObject
{
    Q_OBJECT
private slots:
    void placeholder() {}
};
QTEST_MAIN(T)
#include "tst_commands.moc"
