#include "uikit/PZColor.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>
#include <cmath>
#include <deque>
#include <optional>

namespace ombrelay {

namespace {

struct CalibratedEntry
{
    double red, green, blue, alpha;
    QColor color;
};

struct BlendedEntry
{
    QColor original;
    double fraction;
    QColor other;
    QColor color;
};

using Table = std::array<std::optional<QColor>, 101>;

const QColor& fromTable(Table& table, float f, const QColor& base, bool fAsGray)
{
    const int slot = PZColor::slotFor(f);
    std::optional<QColor>& entry = table[slot];
    if (!entry) {
        const double value = slot / 100.0;
        QColor made = base;
        if (fAsGray)
            made = QColor::fromRgbF(float(value), float(value), float(value), 1.0f);
        else
            made.setAlphaF(float(value));
        entry = made;
    }
    return *entry;
}

const QColor& named(std::optional<QColor>& slot, const QColor& made)
{
    if (!slot)
        slot = made;
    return *slot;
}

QColor grey(double value)
{
    return QColor::fromRgbF(float(value), float(value), float(value), 1.0f);
}

QColor blend(const QColor& a, double fraction, const QColor& b)
{
    const auto mix = [fraction](float x, float y) { return float(x * (1.0 - fraction) + y * fraction); };
    return QColor::fromRgbF(mix(a.redF(), b.redF()), mix(a.greenF(), b.greenF()), mix(a.blueF(), b.blueF()),
                            mix(a.alphaF(), b.alphaF()));
}

}  // namespace

int PZColor::slotFor(float f)
{
    if (!std::isfinite(f) || f < 0)
        return 0;
    return int(std::min(f, 1.0f) * 100);
}

const QColor& PZColor::colorWithCalibratedRed(double red, double green, double blue, double alpha)
{
    static std::deque<CalibratedEntry> cache;
    for (const CalibratedEntry& entry : cache) {
        if (entry.red == red && entry.green == green && entry.blue == blue && entry.alpha == alpha)
            return entry.color;
    }
    cache.push_back({red, green, blue, alpha, QColor::fromRgbF(float(red), float(green), float(blue), float(alpha))});
    return cache.back().color;
}

const QColor& PZColor::color(const QColor& original, double fraction, const QColor& other)
{
    static std::deque<BlendedEntry> cache;
    for (const BlendedEntry& entry : cache) {
        if (entry.original == original && entry.fraction == fraction && entry.other == other)
            return entry.color;
    }
    cache.push_back({original, fraction, other, blend(original, fraction, other)});
    return cache.back().color;
}

const QColor* PZColor::colorForIndex(int index)
{
    switch (index) {
    case 0: return &whiteColor();
    case 1: return &lightBlueColor();
    case 2: return &alternateSelectedControlColor();
    case 3: return &secondarySelectedControlColor();
    default: return nullptr;
    }
}

int PZColor::indexForColor(const QColor* color)
{
    for (int index = 1; index <= 3; ++index) {
        if (color == colorForIndex(index))
            return index;
    }
    return 0;
}

const QColor& PZColor::grayColor(float f)
{
    static Table table;
    return fromTable(table, f, {}, true);
}

const QColor& PZColor::whiteColor(float alpha)
{
    static Table table;
    return fromTable(table, alpha, whiteColor(), false);
}

const QColor& PZColor::blackAlpha(float alpha)
{
    static Table table;
    return fromTable(table, alpha, blackColor(), false);
}

const QColor& PZColor::grayAlpha(float alpha)
{
    static Table table;
    return fromTable(table, alpha, grayColor(), false);
}

const QColor& PZColor::lightGrayAlpha(float alpha)
{
    static Table table;
    return fromTable(table, alpha, lightGrayColor(), false);
}

#define PZ_GRAY(name, value)                      \
    const QColor& PZColor::name()                 \
    {                                             \
        static std::optional<QColor> slot;        \
        return named(slot, grey(value));          \
    }
PZ_GRAY(grayColor10, 0.1)
PZ_GRAY(grayColor20, 0.2)
PZ_GRAY(grayColor30, 0.3)
PZ_GRAY(grayColor40, 0.4)
PZ_GRAY(grayColor50, 0.5)
PZ_GRAY(grayColor60, 0.6)
PZ_GRAY(grayColor70, 0.7)
PZ_GRAY(grayColor75, 0.75)
PZ_GRAY(grayColor80, 0.8)
PZ_GRAY(grayColor85, 0.85)
PZ_GRAY(grayColor90, 0.9)
PZ_GRAY(whiteColor, 1.0)
PZ_GRAY(grayColor, 0.5)
PZ_GRAY(lightGrayColor, 2.0 / 3.0)
PZ_GRAY(blackColor, 0.0)
#undef PZ_GRAY

const QColor& PZColor::redColor()
{
    static std::optional<QColor> slot;
    return named(slot, QColor::fromRgbF(1, 0, 0, 1));
}

const QColor& PZColor::lightBlueColor()
{
    static std::optional<QColor> slot;
    return named(slot, QColor::fromRgbF(0.929412f, 0.952941f, 0.996078f, 1));
}

const QColor& PZColor::lightBlueColorA()
{
    static std::optional<QColor> slot;
    return named(slot, QColor::fromRgbF(0.819608f, 0.843137f, 0.886275f, 1));
}

const QColor& PZColor::alternateSelectedControlColor()
{
    static std::optional<QColor> slot;
    return named(slot, QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight).toRgb());
}

const QColor& PZColor::secondarySelectedControlColor()
{
    // The inactive selection: the palette's own when it differs from the strong one, else a light grey.
    static std::optional<QColor> slot;
    const QPalette palette = QGuiApplication::palette();
    const QColor inactive = palette.color(QPalette::Inactive, QPalette::Highlight).toRgb();
    return named(slot, inactive != alternateSelectedControlColor() ? inactive : grey(212 / 255.0));
}

const QColor& PZColor::whiteColorBlendedWithAlternate()
{
    static std::optional<QColor> slot;
    return named(slot, blend(whiteColor(), 0.4, alternateSelectedControlColor()));
}

}  // namespace ombrelay
