#include "passwords/PasswordViewModel.h"

#include <QMetaType>

namespace {
// Queued connections and QVariant carry entries by this name.
const int s_metaTypeId = qRegisterMetaType<QSharedPointer<PasswordViewModel>>("QSharedPointer<PasswordViewModel>");
} // namespace

PasswordViewModel::PasswordViewModel(const QString &title, const QString &password, const QString &url,
                                     const QString &username, const QString &comment, int mode)
{
    Q_UNUSED(s_metaTypeId)
    setFields(title, password, url, username, comment, mode);
}

PasswordViewModel::~PasswordViewModel()
{
    blank(m_password);
}

void PasswordViewModel::setFields(const QString &title, const QString &password, const QString &url,
                                  const QString &username, const QString &comment, int mode)
{
    m_title = title;
    setPassword(password);
    m_url = url;
    m_username = username;
    m_comment = comment;
    m_mode = mode;
}

void PasswordViewModel::setPassword(const QString &password)
{
    blank(m_password);
    m_password = password;
}

void PasswordViewModel::blank(QString &text)
{
    // A shared buffer still belongs to another owner; overwriting it would only detach a copy.
    if (text.isDetached()) {
        text.fill(QChar(0));
    }
    text.clear();
}
