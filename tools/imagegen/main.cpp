// Draws the window images under res/: plain icons from the Adwaita theme's symbolic SVGs (tinted,
// at the sizes the views use), our own small signs, logos, check marks, the wizard's background and
// its drawn pictures. Run once after changing a drawing:
//   build/tools/imagegen/tessarvale_imagegen <source dir>/res
// The wizard's pictures of the client's own views come from the gallery (tools/gallery/main.cpp).
#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

#include <algorithm>
#include <functional>

namespace {

const QString kTheme = QStringLiteral("/usr/share/icons/Adwaita/scalable/");
// Burnt orange: a warning sign reads at 3:1 or more on white, on the light greys of dialogs and on the
// grey of a selected row.
const QColor kAttention(0xb0, 0x46, 0x00);
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

// The tab headers' signs: one colour on an unselected header, another on the selected one; the file
// safe's also with a warning badge.
void tabIcons(const QString& folder, const QColor& normal, const QColor& selected)
{
    const struct
    {
        const char* name;
        const char* icon;
    } tabs[] = {{"passwords", "dialog-password"}, {"filesafe", "folder"}, {"settings", "preferences-system"}};
    for (const auto& tab : tabs) {
        save(symbolic(QLatin1String(tab.icon), 28, normal, 2),
             QStringLiteral("%1/%2.png").arg(folder, QLatin1String(tab.name)));
        save(symbolic(QLatin1String(tab.icon), 28, selected, 2),
             QStringLiteral("%1/%2_selected.png").arg(folder, QLatin1String(tab.name)));
    }
    for (const bool isSelected : {false, true}) {
        QImage warn = symbolic(QStringLiteral("folder"), 28, isSelected ? selected : normal, 2);
        badge(warn, QStringLiteral("dialog-warning"), kAttention);
        save(warn, QStringLiteral("%1/filesafe_warning%2.png")
                           .arg(folder, isSelected ? QStringLiteral("_selected") : QString()));
    }
}

// Caps Lock: an outlined upward arrow over a bar, drawn here.
QImage capsLock(const QColor& colour)
{
    QImage caps = canvas(18, 18);
    QPainter p(&caps);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(QPolygonF({QPointF(9, 1.5), QPointF(16, 8.5), QPointF(12, 8.5), QPointF(12, 12), QPointF(6, 12),
                             QPointF(6, 8.5), QPointF(2, 8.5)}));
    p.drawLine(QPointF(6, 15.5), QPointF(12, 15.5));
    return caps;
}

// The SMS code's field: a row of masked characters.
QImage maskedDots(const QColor& colour)
{
    QImage dots = canvas(20, 11);
    QPainter p(&dots);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(2.5 + i * 5, 5.5), 2, 2);
    return dots;
}

// A check box of 16 x 16 pixels: the box, and what marks its state.
QImage checkBox(const QColor& fill, const QColor& border, const std::function<void(QPainter&)>& mark)
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(border, 1));
    p.setBrush(fill);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 2, 2);
    if (mark)
        mark(p);
    return image;
}

// The Tamsel label's own pictures: its red needs white signs where the others use grey, and its
// check boxes carry a red mark that reads on the white box (4.9:1) on the red pages as on white.
void tamselImages()
{
    const QColor red(0xbe, 0x49, 0x63);
    const QColor grey(0x6f, 0x6f, 0x6f);
    const QColor white(Qt::white);
    const QColor black(Qt::black);

    // Unselected tab headers lie on the red: white signs (4.9:1). The selected header is light pink
    // under black text: black signs (8.8:1).
    tabIcons(QStringLiteral("tamsel/tabs"), white, black);

    // The sign-in fields' signs sit on the red frame around each field.
    save(symbolic(QStringLiteral("avatar-default"), 20, white), QStringLiteral("tamsel/loginview/username.png"));
    save(symbolic(QStringLiteral("changes-prevent"), 20, white), QStringLiteral("tamsel/loginview/password.png"));
    save(capsLock(white), QStringLiteral("tamsel/loginview/capslock.png"));
    save(maskedDots(white), QStringLiteral("tamsel/loginview/sms_code.png"));

    auto tick = [](const QColor& colour) {
        return [colour](QPainter& p) {
            p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPolyline(QPolygonF({QPointF(3.5, 8.5), QPointF(6.5, 11.5), QPointF(12.5, 4.5)}));
        };
    };
    auto bar = [](const QColor& colour) {
        return [colour](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(colour);
            p.drawRoundedRect(QRectF(3.5, 6.5, 9, 3), 1, 1);
        };
    };
    // Disabled boxes: a grey box whose mark is still there, yet faint.
    const QColor faintFill(0xee, 0xee, 0xee);
    const QColor faint(0xaa, 0xaa, 0xaa);
    save(checkBox(white, grey, nullptr), QStringLiteral("tamsel/forms/checkbox_unchecked.png"));
    save(checkBox(white, grey, tick(red)), QStringLiteral("tamsel/forms/checkbox_checked.png"));
    save(checkBox(white, grey, bar(red)), QStringLiteral("tamsel/forms/checkbox_partial.png"));
    save(checkBox(faintFill, faint, nullptr), QStringLiteral("tamsel/forms/checkbox_unchecked_disabled.png"));
    save(checkBox(faintFill, faint, tick(faint)), QStringLiteral("tamsel/forms/checkbox_checked_disabled.png"));
    save(checkBox(faintFill, faint, bar(faint)), QStringLiteral("tamsel/forms/checkbox_partial_disabled.png"));
}

// A light card under a wizard picture, so that it reads on every brand's wizard background.
QImage card(int w, int h)
{
    QImage image = canvas(w, h);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(0.5, 0.5, w - 1, h - 1), 6, 6);
    return image;
}

// Grey bars where a picture would show names: the pictures serve every brand and language.
void nameBar(QPainter& p, const QRectF& r, const QColor& colour = QColor(0xa8, 0xa8, 0xa8))
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(r, r.height() / 2, r.height() / 2);
    p.restore();
}

// A folder as a file manager shows it: the plain one of the desktop, or the client's own icon.
void folder(QPainter& p, const QRectF& r, QSvgRenderer* marked)
{
    if (marked) {
        marked->render(&p, r);
        return;
    }
    p.save();
    p.translate(r.topLeft());
    p.scale(r.width() / 64.0, r.height() / 64.0);
    p.setPen(Qt::NoPen);
    QPainterPath back;
    back.moveTo(4, 14);
    back.arcTo(4, 10, 8, 8, 180, -90);
    back.lineTo(24, 10);
    back.lineTo(30, 16);
    back.lineTo(56, 16);
    back.arcTo(52, 16, 8, 8, 90, -90);
    back.lineTo(60, 52);
    back.arcTo(52, 48, 8, 8, 0, -90);
    back.lineTo(8, 56);
    back.arcTo(4, 48, 8, 8, 270, -90);
    back.closeSubpath();
    p.setBrush(QColor(0x93, 0x9e, 0xa9));
    p.drawPath(back);
    p.setBrush(QColor(0xb3, 0xbd, 0xc7));
    p.drawRoundedRect(QRectF(4, 22, 56, 34), 4, 4);
    p.restore();
}

// Page 1: a file manager's folder view in which the synchronised folders carry the client's icon.
QImage markedFolders(const QString& res)
{
    QSvgRenderer icon(res + QStringLiteral("/icons/folder_icon.svg"));
    if (!icon.isValid())
        qFatal("missing the client's folder icon");
    const QColor grey(0x66, 0x66, 0x66);
    QImage image = card(540, 196);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    // Title bar with a path field and the window's buttons.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xec, 0xec, 0xec));
    p.drawRoundedRect(QRectF(1, 1, 538, 36), 6, 6);
    p.drawRect(QRectF(1, 20, 538, 17));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(150, 8, 260, 21), 4, 4);
    nameBar(p, QRectF(160, 15, 60, 7));
    nameBar(p, QRectF(228, 15, 84, 7));
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(0xc4, 0xc4, 0xc4));
        p.drawEllipse(QPointF(480 + i * 20, 18.5), 6, 6);
    }
    // Side bar of places.
    p.setBrush(QColor(0xf5, 0xf5, 0xf5));
    p.drawRect(QRectF(1, 37, 130, 152));
    p.drawRoundedRect(QRectF(1, 170, 130, 25), 6, 6);
    const char* places[] = {"user-home", "folder-documents", "folder-download", "folder-pictures"};
    for (int i = 0; i < 4; ++i) {
        p.drawImage(QPointF(14, 50 + i * 30), symbolic(QLatin1String(places[i]), 16, grey));
        nameBar(p, QRectF(40, 55 + i * 30, 50 + (i * 17) % 30, 7));
    }
    p.setPen(QPen(QColor(0xdd, 0xdd, 0xdd), 1));
    p.drawLine(QPointF(131.5, 37), QPointF(131.5, 195));
    p.drawLine(QPointF(1, 37.5), QPointF(539, 37.5));
    // The folders: the second, third and fifth are synchronised.
    const bool synced[] = {false, true, true, false, true};
    const int widths[] = {52, 64, 46, 58, 70};
    for (int i = 0; i < 5; ++i) {
        const qreal x = 150 + i * 78;
        folder(p, QRectF(x, 62, 64, 64), synced[i] ? &icon : nullptr);
        nameBar(p, QRectF(x + 32 - widths[i] / 2.0, 136, widths[i], 8), QColor(0x8c, 0x8c, 0x8c));
    }
    return image;
}

// A device's outline with the product's shield on its screen.
void device(QPainter& p, const QRectF& body, const QRectF& screen, const QColor& shieldColour)
{
    p.save();
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 3));
    p.setBrush(Qt::white);
    p.drawRoundedRect(body, 10, 10);
    p.setPen(QPen(QColor(0x99, 0x99, 0x99), 1.5));
    p.drawRoundedRect(screen, 3, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(shieldColour);
    const qreal w = std::min(screen.width(), screen.height()) * 0.38;
    p.drawPath(shield(QRectF(screen.center().x() - w / 2, screen.center().y() - w * 0.6, w, w * 1.2)));
    p.restore();
}

// Page 5: the client's window among the service's other clients, a tablet and a phone.
QImage clientApps()
{
    const QColor blue(0x1f, 0x6f, 0xb2);
    QImage image = card(540, 220);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    device(p, QRectF(24, 40, 118, 156), QRectF(34, 52, 98, 124), blue);
    p.setPen(QPen(QColor(0x99, 0x99, 0x99), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(83, 186), 4, 4);
    device(p, QRectF(430, 66, 74, 132), QRectF(438, 80, 58, 100), blue);
    p.setPen(QPen(QColor(0x99, 0x99, 0x99), 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(458, 73), QPointF(476, 73));

    // The client's window: title bar, tab column, a list of safes.
    const QRectF window(160, 22, 252, 178);
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 2));
    p.setBrush(Qt::white);
    p.drawRoundedRect(window, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe6, 0xe6, 0xe6));
    p.drawRect(QRectF(161, 23, 250, 22));
    for (int i = 0; i < 3; ++i) {
        p.setBrush(QColor(0xb8, 0xb8, 0xb8));
        p.drawEllipse(QPointF(372 + i * 13, 34), 4, 4);
    }
    p.setBrush(QColor(0x4a, 0x4a, 0x4a));
    p.drawRect(QRectF(161, 45, 56, 154));
    const char* tabs[] = {"dialog-password", "folder", "preferences-system"};
    for (int i = 0; i < 3; ++i) {
        if (i == 1) {
            p.setBrush(QColor(0x6a, 0x6a, 0x6a));
            p.drawRect(QRectF(161, 54 + i * 44, 56, 40));
        }
        p.drawImage(QPointF(177, 62 + i * 44), symbolic(QLatin1String(tabs[i]), 24, Qt::white));
    }
    const struct
    {
        const char* icon;
        QColor colour;
        int width;
    } rows[] = {{"security-high", blue, 90},
                {"system-users", QColor(0x2e, 0x8b, 0x57), 120},
                {"mail-unread", QColor(0x8e, 0x44, 0xad), 70},
                {"system-users", QColor(0x2e, 0x8b, 0x57), 104}};
    for (int i = 0; i < 4; ++i) {
        const qreal y = 58 + i * 34;
        p.drawImage(QPointF(230, y), symbolic(QLatin1String(rows[i].icon), 20, rows[i].colour));
        nameBar(p, QRectF(260, y + 3, rows[i].width, 7), QColor(0x77, 0x77, 0x77));
        nameBar(p, QRectF(260, y + 14, rows[i].width * 0.6, 5), QColor(0xbb, 0xbb, 0xbb));
    }
    return image;
}

// The activity history's help button: a white letter on a deep blue disc, which reads at 4:1 or more
// on every brand's rows, plain, alternate and selected (the darkest of them Sorel's selection).
QImage infoButton()
{
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5a, 0x96));
    p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.7), 1.4, 1.4);
    p.drawRoundedRect(QRectF(6.85, 6.8, 2.3, 5.9), 0.8, 0.8);
    return image;
}

// The folders list's show button sits on a panel that is white in every brand: a white glass would
// vanish there, so ours is a white lens in a dark rim, with a dark handle.
QImage magnifyingGlass()
{
    const QColor dark(0x33, 0x33, 0x33);
    QImage image = canvas(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(dark, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14, 14));
    p.setPen(QPen(dark, 1.8));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(6.6, 6.6), 5.2, 5.2);
    return image;
}

// The maker's wizard background: a large shield at the top of the pages, so faint (a tint of 7 % at
// most) that every text over it keeps its contrast.
QImage shieldBackground()
{
    const QColor gold(0xc9, 0x9c, 0x30);
    QImage image = canvas(465, 339);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QColor face = gold;
    face.setAlphaF(0.05);
    QColor rim = gold;
    rim.setAlphaF(0.14);
    p.setPen(QPen(rim, 4));
    p.setBrush(face);
    p.drawPath(shield(QRectF(232.5 - 135, 6, 270, 326)));
    p.setPen(QPen(rim, 14, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({QPointF(180, 160), QPointF(222, 204), QPointF(290, 112)}));
    return image;
}

void wizardPictures()
{
    save(markedFolders(g_out), QStringLiteral("wizard/wiz_page1_marked_folders.png"));
    save(clientApps(), QStringLiteral("wizard/wiz_page5_client_apps.png"));
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
    tabIcons(QStringLiteral("tabs"), grey, white);
    for (int size : {20, 30, 40})
        save(symbolic(QStringLiteral("dialog-warning"), size, kAttention),
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
    save(infoButton(), QStringLiteral("tabs/info_button.png"));
    save(magnifyingGlass(), QStringLiteral("tabs/magnifying_glass_white_16x16.png"));

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
        const QImage medium = symbolic(icon, 30, space.color);
        save(medium, QStringLiteral("space/%1_medium.png").arg(stem));
        // The folder row's form shows a team space until the row knows its safe.
        if (stem == QLatin1String("teamspace"))
            save(medium, QStringLiteral("space/teamspace_30x30.png"));
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
    save(capsLock(kAttention), QStringLiteral("loginview/capslock.png"));
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
    save(shieldBackground(), QStringLiteral("varnel/tessarvale_shield_background_465x339.png"));
    save(maskedDots(grey), QStringLiteral("password_icon_20x11.png"));
    save(symbolic(QStringLiteral("pan-down"), 16, QColor(0x44, 0x44, 0x44)), QStringLiteral("forms/arrowhead.png"));

    {
        // The notices' attention mark.
        QImage mark = canvas(54, 48);
        QPainter p(&mark);
        p.drawImage(3, 0, symbolic(QStringLiteral("dialog-warning"), 48, kAttention));
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
    tamselImages();
    wizardPictures();
    return 0;
}
