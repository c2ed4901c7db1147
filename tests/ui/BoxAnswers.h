#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers the modal boxes that open, in order, and keeps their titles and texts.
class BoxAnswers : public QObject
{
public:
    explicit BoxAnswers(QList<int> answers) : m_answers(std::move(answers))
    {
        auto* timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || m_answers.isEmpty())
                return;
            seen << box->windowTitle() + QLatin1Char('|') + box->text();
            plainText << (box->textFormat() == Qt::PlainText);
            box->button(QMessageBox::StandardButton(m_answers.takeFirst()))->click();
        });
        timer->start(10);
    }
    QStringList titles() const
    {
        QStringList out;
        for (const QString& s : seen)
            out << s.section('|', 0, 0);
        return out;
    }
    QStringList seen;
    QList<bool> plainText;

private:
    QList<int> m_answers;
};
