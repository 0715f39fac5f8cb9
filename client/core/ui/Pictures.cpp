#include "core/ui/Pictures.h"

#include "core/AppIdentity.h"

#include <QBuffer>
#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstring>

namespace mavo {

namespace {

struct Glyph {
    CommandId id;
    const char* text;
    QRgb colour;
};

// A letter or two on a coloured tile: enough to tell the buttons apart.
constexpr Glyph kGlyphs[] = {
    {CommandId::New, "+", 0x2E7D32},
    {CommandId::SaveFormat, "S", 0x1565C0},
    {CommandId::PrintAllPages, "P", 0x455A64},
    {CommandId::ConnectPrimary, "C", 0x00897B},
    {CommandId::SourceOptions, "O", 0x6D4C41},
    {CommandId::RefreshWindows, "R", 0x00838F},
    {CommandId::ViewFullScreen, "[]", 0x37474F},
    {CommandId::SetAsDefault, "D", 0x5E35B1},
    {CommandId::ApplyDefault, "A", 0x8E24AA},
    {CommandId::AnchorWindows, "H", 0xAD1457},
    {CommandId::LockFormat, "L", 0xC62828},
    {CommandId::InfoClickEnabled, "i", 0x0277BD},
    {CommandId::TitleBar, "1", 0x546E7A},
    {CommandId::BorderOnly, "2", 0x546E7A},
    {CommandId::Frameless, "3", 0x546E7A},
    {CommandId::Font, "F", 0x4E342E},
    {CommandId::ModifyLayout, "Ly", 0xEF6C00},
    {CommandId::ModifyStack, "St", 0xEF6C00},
    {CommandId::ModifyAggressors, "Ag", 0xEF6C00},
    {CommandId::ModifyTradeHistory, "TH", 0xEF6C00},
    {CommandId::ModifyContents, "Ct", 0xEF6C00},
    {CommandId::About, "?", 0x1A237E},
};

QImage Tile(const char* text, QColor colour, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), size / 6.0, size / 6.0);
    QFont font(QStringLiteral("Sans Serif"));
    font.setBold(true);
    font.setPixelSize(std::strlen(text) > 1 ? size * 9 / 20 : size * 13 / 20);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, QString::fromLatin1(text));
    p.end();
    return image;
}

// A round status-bar mark of one colour.
QPixmap Mark(QColor colour)
{
    QPixmap pixmap(12, 12);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(140));
    p.setBrush(colour);
    p.drawEllipse(QRectF(1, 1, 10, 10));
    return pixmap;
}

} // namespace

std::vector<QImage> ApplicationIconImages()
{
    std::vector<QImage> images;
    for (int size : {16, 32, 48})
        images.push_back(Tile("M", QColor(0x0D, 0x47, 0xA1), size));
    return images;
}

QIcon ApplicationIcon(const std::vector<QImage>& images)
{
    QIcon icon;
    for (const QImage& image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

QIcon ApplicationIcon()
{
    return ApplicationIcon(ApplicationIconImages());
}

QImage SplashImage()
{
    const int width = 480, height = 280;
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // The field darkens downwards. Each row is one colour, so it is filled a
    // row at a time: a gradient brush works the colour out for every pixel.
    const QColor top(0x0D, 0x2B, 0x5E), bottom(0x02, 0x0B, 0x1F);
    for (int y = 0; y < height; ++y) {
        const double t = (y + 0.5) / height;
        const auto mix = [t](int from, int to) { return static_cast<int>(std::lround(from + (to - from) * t)); };
        p.fillRect(0, y, width, 1,
                   QColor(mix(top.red(), bottom.red()), mix(top.green(), bottom.green()), mix(top.blue(), bottom.blue())));
    }
    // A price line across the field.
    QPainterPath line;
    line.moveTo(0, height * 0.72);
    const double points[] = {0.70, 0.66, 0.69, 0.58, 0.61, 0.52, 0.55, 0.46, 0.49, 0.40};
    for (int i = 0; i < 10; ++i)
        line.lineTo(width * (i + 1) / 10.0, height * points[i]);
    p.setPen(QPen(QColor(0x4F, 0xC3, 0xF7, 150), 3));
    p.drawPath(line);

    QFont title(QStringLiteral("Sans Serif"));
    title.setBold(true);
    title.setPixelSize(72);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 40, width, 90), Qt::AlignCenter, QString::fromLatin1(kAppName));
    QFont small(QStringLiteral("Sans Serif"));
    small.setPixelSize(16);
    p.setFont(small);
    p.setPen(QColor(0xBB, 0xDE, 0xFB));
    p.drawText(QRect(0, 130, width, 24), Qt::AlignCenter, QStringLiteral("Live price screens"));
    p.drawText(QRect(0, height - 44, width - 20, 20), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("Version %1").arg(QString::fromLatin1(kAppVersion)));
    p.drawText(QRect(20, height - 44, width, 20), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Halvern"));
    p.setPen(QColor(0x4F, 0xC3, 0xF7));
    p.setBrush(Qt::NoBrush);
    p.drawRect(0, 0, width - 1, height - 1);
    p.end();
    return image;
}

void PrepareImageReading()
{
    // A picture read without its format named makes the reader load every
    // format plugin to ask it; later reads find them loaded.
    QImage pixel(1, 1, QImage::Format_ARGB32);
    pixel.fill(Qt::transparent);
    QBuffer bytes;
    if (bytes.open(QIODevice::ReadWrite) && pixel.save(&bytes, "PNG"))
        (void)QImage::fromData(bytes.data());
}

StartupPictures DrawStartupPictures(bool splash)
{
    StartupPictures pictures;
    pictures.applicationIcon = ApplicationIconImages();
    if (splash)
        pictures.splash = SplashImage();
    return pictures;
}

QIcon CommandIcon(CommandId id)
{
    for (const Glyph& glyph : kGlyphs)
        if (glyph.id == id)
            return QIcon(QPixmap::fromImage(Tile(glyph.text, QColor::fromRgb(glyph.colour), 24)));
    return QIcon();
}

QPixmap FeedStateMark(FeedState state)
{
    switch (state) {
    case FeedState::Dead: return Mark(QColor(0xD3, 0x2F, 0x2F));
    case FeedState::Stale: return Mark(QColor(0xF9, 0xA8, 0x25));
    case FeedState::Live: return Mark(QColor(0x38, 0x8E, 0x3C));
    default: return NotConnectedMark();
    }
}

QPixmap NotConnectedMark()
{
    return Mark(QColor(0x9E, 0x9E, 0x9E));
}

} // namespace mavo
