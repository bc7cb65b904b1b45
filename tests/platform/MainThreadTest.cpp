#include "platform/MainThread.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <gtest/gtest.h>

namespace {

class Receiver : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void take(const QString &value)
    {
        received.append(value);
        callingThread = QThread::currentThread();
    }
    QStringList received;
    QThread *callingThread = nullptr;
};

} // namespace

TEST(MainThread, DirectCallOnTheSameThread)
{
    Receiver receiver;
    EXPECT_TRUE(performOnMainThread(&receiver, "take", QStringLiteral("a")));
    EXPECT_EQ(receiver.received, QStringList{QStringLiteral("a")});
    EXPECT_EQ(receiver.callingThread, QThread::currentThread());
}

TEST(MainThread, DroppedWithoutTargetOrMethod)
{
    Receiver receiver;
    EXPECT_FALSE(performOnMainThread<QString>(nullptr, "take", QStringLiteral("a")));
    EXPECT_FALSE(performOnMainThread(&receiver, "missing", QStringLiteral("a")));
    EXPECT_FALSE(performOnMainThread(&receiver, "take", 42));
    EXPECT_TRUE(receiver.received.isEmpty());
    EXPECT_TRUE(answersMethod<QString>(&receiver, "take"));
    EXPECT_FALSE(answersMethod<int>(&receiver, "take"));
}

TEST(MainThread, WorkerWaitsUntilTheMainThreadHasRun)
{
    Receiver receiver;
    QStringList seenAfterEachCall;
    QEventLoop loop;
    QThread *worker = QThread::create([&] {
        for (int i = 0; i < 3; ++i) {
            performOnMainThread(&receiver, "take", QString::number(i));
            seenAfterEachCall.append(QString::number(receiver.received.size()));
        }
    });
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    loop.exec();
    worker->wait();
    delete worker;
    EXPECT_EQ(receiver.received, (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2")}));
    EXPECT_EQ(seenAfterEachCall, (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")}));
    EXPECT_EQ(receiver.callingThread, QCoreApplication::instance()->thread());
}

#include "MainThreadTest.moc"
