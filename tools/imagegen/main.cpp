// Draws the window images under res/: plain icons from the Adwaita theme's symbolic SVGs (tinted,
// at the sizes the views use), logos and pictures drawn here. Run once after changing a drawing:
//   build/tools/imagegen/tessarvale_imagegen <source dir>/res
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

namespace {

const QString kTheme = QStringLiteral("/usr/share/icons/Adwaita/scalable/");
QString g_out;

QImage canvas(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

// A symbolic icon in one colour, centred in a square of the given size with a margin.
QImage symbolic(const QString& name, int size, const QColor& color, int margin = 0)
{
    QImage image = canvas(size, size);
    QString file;
    for (const QString& folder : QDir(kTheme).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString candidate = kTheme + folder + QLatin1Char('/') + name + QStringLiteral("-symbolic.svg");
        if (QFile::exists(candidate)) {
            file = candidate;
            break;
        }
    }
    QSvgRenderer svg(file);
    if (!svg.isValid())
        qFatal("missing theme icon %s", qPrintable(name));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    svg.render(&p, QRectF(margin, margin, size - 2 * margin, size - 2 * margin));
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(image.rect(), color);
    return image;
}

void save(const QImage& image, const QString& path)
{
    const QString full = g_out + QLatin1Char('/') + path;
    QDir().mkpath(QFileInfo(full).path());
    if (!image.save(full))
        qFatal("cannot write %s", qPrintable(full));
}

// A small badge in the lower right corner: a coloured disc holding a symbolic icon.
void badge(QImage& image, const QString& icon, const QColor& disc, qreal rotation = 0)
{
    const int s = image.width() / 2 + 2;
    const QRectF r(image.width() - s, image.height() - s, s, s);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(r);
    QImage mark = symbolic(icon, s, Qt::white, s / 5);
    if (rotation != 0) {
        QTransform t;
        t.translate(s / 2.0, s / 2.0).rotate(rotation).translate(-s / 2.0, -s / 2.0);
        mark = mark.transformed(t, Qt::SmoothTransformation);
        mark = mark.copy((mark.width() - s) / 2, (mark.height() - s) / 2, s, s);
    }
    p.drawImage(r.topLeft(), mark);
}

// The shield of the product: our own drawing.
QPainterPath shield(const QRectF& r)
{
    QPainterPath path;
    path.moveTo(r.center().x(), r.top());
    path.lineTo(r.right(), r.top() + r.height() * 0.18);
    path.cubicTo(r.right(), r.top() + r.height() * 0.65, r.center().x() + r.width() * 0.2, r.bottom() - r.height() * 0.08,
                 r.center().x(), r.bottom());
    path.cubicTo(r.center().x() - r.width() * 0.2, r.bottom() - r.height() * 0.08, r.left(), r.top() + r.height() * 0.65,
                 r.left(), r.top() + r.height() * 0.18);
    path.closeSubpath();
    return path;
}

QImage logo(const QColor& shieldColor, const QString& name, const QColor& textColor)
{
    QImage image = canvas(260, 72);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(shieldColor);
    p.drawPath(shield(QRectF(6, 6, 50, 60)));
    p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(20, 36), QPointF(29, 46), QPointF(43, 26)}));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(30);
    font.setBold(true);
    p.setFont(font);
    p.setPen(textColor);
    p.drawText(QRectF(66, 0, 194, 72), Qt::AlignVCenter | Qt::AlignLeft, name);
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2)
        qFatal("usage: tessarvale_imagegen <res dir>");
    g_out = QString::fromLocal8Bit(argv[1]);

    const QColor grey(0x66, 0x66, 0x66);
    const QColor blue(0x1f, 0x6f, 0xb2);
    const QColor orange(0xf3, 0x7f, 0x32);
    const QColor white(Qt::white);

    // Tab headers: grey when not selected, white on the selected header's darker background.
    const struct {
        const char* name;
        const char* icon;
    } tabs[] = {{"passwords", "dialog-password"}, {"filesafe", "folder"}, {"settings", "preferences-system"}};
    for (const auto& tab : tabs) {
        save(symbolic(QLatin1String(tab.icon), 28, grey, 2), QStringLiteral("tabs/%1.png").arg(QLatin1String(tab.name)));
        save(symbolic(QLatin1String(tab.icon), 28, white, 2),
             QStringLiteral("tabs/%1_selected.png").arg(QLatin1String(tab.name)));
    }
    QImage warn = symbolic(QStringLiteral("folder"), 28, grey, 2);
    badge(warn, QStringLiteral("dialog-warning"), orange);
    save(warn, QStringLiteral("tabs/filesafe_warning.png"));
    QImage warnSelected = symbolic(QStringLiteral("folder"), 28, white, 2);
    badge(warnSelected, QStringLiteral("dialog-warning"), orange);
    save(warnSelected, QStringLiteral("tabs/filesafe_warning_selected.png"));
    for (int size : {20, 30, 40})
        save(symbolic(QStringLiteral("dialog-warning"), size, orange),
             QStringLiteral("tabs/attention_icon_%1x%1.png").arg(size));
    {
        QImage arrow = canvas(10, 20);
        QPainter p(&arrow);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(white);
        p.drawPolygon(QPolygonF({QPointF(10, 0), QPointF(0, 10), QPointF(10, 20)}));
        p.end();
        save(arrow, QStringLiteral("tabs/selection_arrow.png"));
    }

    // Kinds of file safe, each its own colour.
    const struct {
        const char* stem;
        const char* icon;
        QColor color;
    } spaces[] = {
        {"privatesafe", "security-high", QColor(0x1f, 0x6f, 0xb2)},
        {"teamspace", "system-users", QColor(0x2e, 0x8b, 0x57)},
        {"inbox", "mail-unread", QColor(0x8e, 0x44, 0xad)},
        {"mailin", "mail-send", QColor(0xc0, 0x39, 0x2b)},
    };
    for (const auto& space : spaces) {
        const QString stem = QLatin1String(space.stem);
        const QString icon = QLatin1String(space.icon);
        save(symbolic(icon, 20, space.color), QStringLiteral("space/%1_small.png").arg(stem));
        save(symbolic(icon, 30, space.color), QStringLiteral("space/%1_medium.png").arg(stem));
        save(symbolic(icon, 40, space.color), QStringLiteral("space/%1_large.png").arg(stem));
        QImage autosync = symbolic(icon, 30, space.color);
        badge(autosync, QStringLiteral("emblem-synchronizing"), blue);
        save(autosync, QStringLiteral("space/%1_autosync.png").arg(stem));
        for (int frame = 1; frame <= 2; ++frame) {
            QImage syncing = symbolic(icon, 30, space.color);
            badge(syncing, QStringLiteral("emblem-synchronizing"), orange, frame == 1 ? 0 : 90);
            save(syncing, QStringLiteral("space/%1_syncing_%2.png").arg(stem).arg(frame));
        }
    }

    // Sign-in page.
    save(symbolic(QStringLiteral("avatar-default"), 20, grey), QStringLiteral("loginview/username.png"));
    save(symbolic(QStringLiteral("changes-prevent"), 20, grey), QStringLiteral("loginview/password.png"));
    {
        // Caps Lock: an outlined upward arrow over a bar, drawn here.
        QImage caps = canvas(18, 18);
        QPainter p(&caps);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(orange, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolygon(QPolygonF({QPointF(9, 1.5), QPointF(16, 8.5), QPointF(12, 8.5), QPointF(12, 12), QPointF(6, 12),
                                 QPointF(6, 8.5), QPointF(2, 8.5)}));
        p.drawLine(QPointF(6, 15.5), QPointF(12, 15.5));
        p.end();
        save(caps, QStringLiteral("loginview/capslock.png"));
    }
    save(logo(blue, QStringLiteral("Tessarvale"), QColor(0x22, 0x22, 0x22)), QStringLiteral("loginview/logo.png"));
    {
        // The maker's flat logo of the about dialog.
        const QImage flat = logo(blue, QStringLiteral("Tessarvale"), QColor(0x22, 0x22, 0x22));
        QImage wide = canvas(399, 82);
        QPainter p(&wide);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawImage(QRectF(40, 0, 296, 82), flat);
        p.end();
        save(wide, QStringLiteral("varnel/tessarvale_logo_flat_399x82.png"));
    }
    {
        // The SMS code's field: a row of masked characters.
        QImage dots = canvas(20, 11);
        QPainter p(&dots);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(grey);
        for (int i = 0; i < 4; ++i)
            p.drawEllipse(QPointF(2.5 + i * 5, 5.5), 2, 2);
        p.end();
        save(dots, QStringLiteral("password_icon_20x11.png"));
    }
    save(symbolic(QStringLiteral("pan-down"), 16, QColor(0x44, 0x44, 0x44)), QStringLiteral("forms/arrowhead.png"));

    {
        // The notices' attention mark.
        QImage mark = canvas(54, 48);
        QPainter p(&mark);
        p.drawImage(3, 0, symbolic(QStringLiteral("dialog-warning"), 48, orange));
        p.end();
        save(mark, QStringLiteral("attention_icon_54x48.png"));
    }

    // About dialog and tray-independent brand marks.
    {
        QImage icon = canvas(64, 64);
        QPainter p(&icon);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(blue);
        p.drawPath(shield(QRectF(7, 3, 50, 58)));
        p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(21, 33), QPointF(30, 43), QPointF(44, 23)}));
        p.end();
        save(icon, QStringLiteral("about/app_icon_64.png"));
    }
    return 0;
}
