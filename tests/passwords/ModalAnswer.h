#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// Hands the next modal widget of type T to fn as soon as it is up; gives up after about timeoutMs.
// Tests answer every box this way instead of letting it wait for a user.
template<typename T>
void onNextModal(std::function<void(T *)> fn, int timeoutMs = 5000)
{
    auto *timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("onNextModal"));
    QObject::connect(timer, &QTimer::timeout, [timer, fn, ticks = timeoutMs / 10]() mutable {
        T *widget = qobject_cast<T *>(QApplication::activeModalWidget());
        if (widget || --ticks < 0) {
            timer->stop();
            timer->deleteLater();
        }
        if (widget)
            fn(widget);
    });
    timer->start(10);
}

// Stops the answers still waiting, so none outlives the test function whose locals it uses.
inline void cancelModalAnswers()
{
    qDeleteAll(qApp->findChildren<QTimer *>(QStringLiteral("onNextModal"), Qt::FindDirectChildrenOnly));
}

// Answers the next message box with button and records its title and text.
inline void answerNextBox(QMessageBox::StandardButton button, QString *title = nullptr, QString *text = nullptr)
{
    onNextModal<QMessageBox>([button, title, text](QMessageBox *box) {
        if (title)
            *title = box->windowTitle();
        if (text)
            *text = box->text();
        box->button(button)->click();
    });
}
