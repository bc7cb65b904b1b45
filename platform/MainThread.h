#pragma once

#include <QByteArray>
#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaType>
#include <QObject>
#include <QThread>

template <typename T>
QByteArray methodSignature(const char *method)
{
    QByteArray signature(method);
    signature.append('(').append(QMetaType::fromType<T>().name()).append(')');
    return QMetaObject::normalizedSignature(signature.constData());
}

// Calls target->method(argument) on the target's thread and waits until it
// returns: a direct call when already on that thread. The method must be an
// invokable (Q_INVOKABLE or slot) taking one argument of type T. Without a
// target, or when the target has no such method, nothing happens and false
// is returned.
template <typename T>
bool performOnMainThread(QObject *target, const char *method, const T &argument)
{
    if (!target || !method)
        return false;
    const QByteArray signature = methodSignature<T>(method);
    const QMetaObject *meta = target->metaObject();
    const int index = meta->indexOfMethod(signature.constData());
    if (index < 0)
        return false;
    const Qt::ConnectionType connection =
        QThread::currentThread() == target->thread() ? Qt::DirectConnection : Qt::BlockingQueuedConnection;
    return meta->method(index).invoke(target, connection, Q_ARG(T, argument));
}

// Whether target has an invokable method(T), the check behind performOnMainThread.
template <typename T>
bool answersMethod(const QObject *target, const char *method)
{
    if (!target || !method)
        return false;
    const QByteArray signature = methodSignature<T>(method);
    return target->metaObject()->indexOfMethod(signature.constData()) >= 0;
}
