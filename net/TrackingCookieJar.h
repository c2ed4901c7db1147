#pragma once

#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QUrl>

// The cookie jar of the session's network access manager; it announces the service's session cookie.
class TrackingCookieJar : public QNetworkCookieJar
{
    Q_OBJECT
public:
    explicit TrackingCookieJar(QObject *parent = nullptr);

    QList<QNetworkCookie> cookiesForUrl(const QUrl &url) const override;
    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookieList, const QUrl &url) override;

signals:
    void setCookieJsessionidReceived(QNetworkCookie cookie, QUrl url);
};
