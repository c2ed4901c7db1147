#include "net/GenericRI.h"

#include <QChar>

GenericRI::GenericRI(ISession *session, QObject *parent)
    : QObject(parent)
    , session(session)
{}

GenericRI::~GenericRI() = default;

QString GenericRI::idProblem(const QString &id)
{
    if (id.isEmpty()) {
        return QStringLiteral("empty");
    }
    if (id == QLatin1String(".") || id == QLatin1String("..") || id.contains(QLatin1Char('/'))) {
        return QStringLiteral("invalid");
    }
    for (const QChar c : id) {
        if (c.category() == QChar::Other_Control) {
            return QStringLiteral("invalid");
        }
    }
    return QString();
}
