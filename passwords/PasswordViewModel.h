#pragma once

#include <QMetaType>
#include <QSharedPointer>
#include <QString>

// One password entry as it travels between the list page, the controller and the entry dialog;
// always handed around as a QSharedPointer. The destructor blanks the password text.
class PasswordViewModel
{
public:
    enum Mode { View = 0, Edit = 1, Add = 2 };

    PasswordViewModel(const QString &title = QString(), const QString &password = QString(),
                      const QString &url = QString(), const QString &username = QString(),
                      const QString &comment = QString(), int mode = View);
    ~PasswordViewModel();
    PasswordViewModel(const PasswordViewModel &) = default;
    PasswordViewModel &operator=(const PasswordViewModel &) = default;

    void setFields(const QString &title, const QString &password, const QString &url, const QString &username,
                   const QString &comment, int mode);

    // Row of the entry in the list page's item model; only meaningful for an entry opened from the table.
    int row() const { return m_row; }
    void setRow(int row) { m_row = row; }
    // The service's id in decimal digits; empty for an entry being added.
    QString id() const { return m_id; }
    void setId(const QString &id) { m_id = id; }
    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    QString password() const { return m_password; }
    void setPassword(const QString &password);
    QString url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }
    QString username() const { return m_username; }
    void setUsername(const QString &username) { m_username = username; }
    QString comment() const { return m_comment; }
    void setComment(const QString &comment) { m_comment = comment; }
    int mode() const { return m_mode; }
    void setMode(int mode) { m_mode = mode; }

    // Overwrites the text's characters where this copy is their only owner, then empties it.
    static void blank(QString &text);

private:
    int m_row = -1;
    QString m_id;
    QString m_title;
    QString m_password;
    QString m_url;
    QString m_username;
    QString m_comment;
    int m_mode = View;
};

using PasswordViewModelPtr = QSharedPointer<PasswordViewModel>;
Q_DECLARE_METATYPE(QSharedPointer<PasswordViewModel>)
