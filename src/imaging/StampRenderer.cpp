#include "imaging/StampRenderer.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <mutex>
#include <vector>

namespace vistrel {

namespace {

constexpr int kDefaultPixelSize = 16; // the size of a display context's own font
constexpr int kMaxFaceName = 31;
constexpr std::size_t kMaxFallbackFaces = 8;
constexpr std::size_t kMaxMissing = 32; // characters looked for in vain, before looking no more
const char* const kFallbackFamily = "DejaVu Sans";
const char* const kGenericFamily = "sans-serif";

// One FreeType library for the process, made on first use, and fontconfig's own configuration
// (the one a toolkit in the same process uses too). FreeType objects are not for several threads
// at once: every use holds the mutex.
struct Engine {
    FT_Library ft = nullptr;
    bool fc = false;
};

std::mutex& engineMutex()
{
    static std::mutex m;
    return m;
}

Engine& engine()
{
    static Engine e = [] {
        Engine made;
        if (FT_Init_FreeType(&made.ft) != 0)
            made.ft = nullptr;
        made.fc = FcInit() == FcTrue;
        return made;
    }();
    return e;
}

bool familyInstalled(const std::string& family)
{
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, p, os);
    const bool found = fonts && fonts->nfont > 0;
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(os);
    FcPatternDestroy(p);
    return found;
}

// A pattern for family in the record's weight and slant, with fontconfig's substitutions made.
FcPattern* requestPattern(const std::string& family, int weight, bool italic)
{
    FcPattern* p = FcPatternCreate();
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(p, FC_WEIGHT, FcWeightFromOpenType(weight));
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(p, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    return p;
}

struct FontFile {
    std::string path;
    int index = 0;
};

bool fileOf(FcPattern* font, FontFile& out)
{
    FcChar8* file = nullptr;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch || !file)
        return false;
    out.path = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(font, FC_INDEX, 0, &out.index) != FcResultMatch)
        out.index = 0;
    return true;
}

FontFile matchFile(const std::string& family, int weight, bool italic)
{
    FontFile result;
    FcPattern* p = requestPattern(family, weight, italic);
    FcResult r = FcResultNoMatch;
    if (FcPattern* font = FcFontMatch(nullptr, p, &r)) {
        fileOf(font, result);
        FcPatternDestroy(font);
    }
    FcPatternDestroy(p);
    return result;
}

// A face that has the character, for one the chosen face lacks; an empty path when none has.
FontFile fileWithCharacter(char32_t c, int weight, bool italic)
{
    FontFile result;
    FcPattern* p = requestPattern(kGenericFamily, weight, italic);
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, c);
    FcPatternAddCharSet(p, FC_CHARSET, wanted);
    FcResult r = FcResultNoMatch;
    if (FcFontSet* fonts = FcFontSort(nullptr, p, FcTrue, nullptr, &r)) {
        for (int i = 0; i < fonts->nfont && result.path.empty(); ++i) {
            FcCharSet* has = nullptr;
            if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &has) == FcResultMatch &&
                FcCharSetHasChar(has, c))
                fileOf(fonts->fonts[i], result);
        }
        FcFontSetDestroy(fonts);
    }
    FcCharSetDestroy(wanted);
    FcPatternDestroy(p);
    return result;
}

} // namespace

// One font file at the stamp's size.
struct StampFace {
    FT_Face face = nullptr;
    std::string path;
    bool embolden = false;
    bool oblique = false;
    double ascent = 0, descent = 0, height = 0;

    StampFace() = default;
    StampFace(const StampFace&) = delete;
    StampFace& operator=(const StampFace&) = delete;
    ~StampFace()
    {
        if (face)
            FT_Done_Face(face);
    }

    bool open(const FontFile& file, bool bold, bool italic)
    {
        if (file.path.empty() || !engine().ft ||
            FT_New_Face(engine().ft, file.path.c_str(), file.index, &face) != 0) {
            face = nullptr;
            return false;
        }
        if (!FT_IS_SCALABLE(face)) {
            FT_Done_Face(face);
            face = nullptr;
            return false;
        }
        path = file.path;
        embolden = bold && !(face->style_flags & FT_STYLE_FLAG_BOLD);
        oblique = italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
        return true;
    }

    // Sets the em size in pixels, stretched to stretch percent across.
    void setSize(double pixels, int stretch)
    {
        const auto y = static_cast<FT_F26Dot6>(std::lround(pixels * 64));
        const auto x = std::max<FT_F26Dot6>(1, y * stretch / 100);
        FT_Set_Char_Size(face, x, y, 72, 72);
        // The design metrics, unrounded: glyphs are placed at fractions of a pixel, so lines
        // are too (each line then starts on a whole pixel).
        const double scale = face->units_per_EM > 0 ? pixels / face->units_per_EM : 0;
        ascent = face->ascender * scale;
        descent = -face->descender * scale;
        height = face->height * scale;
    }
};

struct StampFont::Impl {
    std::string family;
    int pixelSize = kDefaultPixelSize;
    int stretch = 100;
    int weight = 400;
    bool italic = false;
    std::vector<std::unique_ptr<StampFace>> faces; // the chosen face, then faces for fallbacks
    std::vector<char32_t> missing;                 // characters no face has

    bool valid() const { return !faces.empty(); }
    bool bold() const { return weight >= 700; }

    // The face that draws c, and its glyph.
    std::pair<StampFace*, FT_UInt> glyphFor(char32_t c)
    {
        for (const auto& f : faces) {
            if (const FT_UInt g = FT_Get_Char_Index(f->face, c))
                return {f.get(), g};
        }
        const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        if (!control && faces.size() < kMaxFallbackFaces + 1 && missing.size() < kMaxMissing &&
            std::find(missing.begin(), missing.end(), c) == missing.end()) {
            const FontFile file = fileWithCharacter(c, weight, italic);
            auto face = std::make_unique<StampFace>();
            if (face->open(file, bold(), italic)) {
                if (const FT_UInt g = FT_Get_Char_Index(face->face, c)) {
                    face->setSize(pixelSize, stretch);
                    faces.push_back(std::move(face));
                    return {faces.back().get(), g};
                }
            }
            missing.push_back(c);
        }
        return {faces.front().get(), 0};
    }
};

StampFont::StampFont(const FontRecord& record) : d(std::make_unique<Impl>())
{
    const QString face = QString::fromStdString(record.face).left(kMaxFaceName);
    d->family = face.toStdString();
    d->weight = record.weight <= 0 ? 400 : std::clamp(record.weight, 1, 1000);
    d->italic = record.italic;

    const std::lock_guard<std::mutex> lock(engineMutex());
    if (!engine().fc || !engine().ft)
        return;
    std::string family = kGenericFamily;
    if (!d->family.empty() && familyInstalled(d->family))
        family = d->family;
    else if (familyInstalled(kFallbackFamily))
        family = kFallbackFamily;
    auto primary = std::make_unique<StampFace>();
    if (!primary->open(matchFile(family, d->weight, d->italic), d->bold(), d->italic) &&
        !primary->open(matchFile(kGenericFamily, d->weight, d->italic), d->bold(), d->italic))
        return;

    // Any stored number is taken (-2147483648 cannot be negated), but within a drawable range.
    const int height = std::clamp(record.height, -kMaxFontPixels, kMaxFontPixels);
    if (height < 0) {
        d->pixelSize = -height;
    } else if (height > 0) {
        // A cell height includes the internal leading: scale the em size so that ascent +
        // descent of the chosen face match the requested cell.
        primary->setSize(100, 100);
        const double cell = primary->ascent + primary->descent;
        d->pixelSize =
            cell > 0 ? std::max(1, static_cast<int>(std::lround(height * 100.0 / cell))) : height;
    }
    primary->setSize(d->pixelSize, 100);

    if (record.width > 0) {
        double natural = 0;
        const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(primary->face, FT_SFNT_OS2));
        if (os2 && os2->xAvgCharWidth > 0 && primary->face->units_per_EM > 0) {
            natural = os2->xAvgCharWidth * static_cast<double>(d->pixelSize) /
                      primary->face->units_per_EM;
        } else if (const FT_UInt x = FT_Get_Char_Index(primary->face, 'x')) {
            FT_Fixed advance = 0;
            if (FT_Get_Advance(primary->face, x, FT_LOAD_NO_HINTING, &advance) == 0)
                natural = advance / 65536.0;
        }
        const int width = std::min(record.width, kMaxFontPixels);
        if (natural > 0)
            d->stretch =
                std::clamp(static_cast<int>(std::lround(width * 100.0 / natural)), 1, 4000);
        primary->setSize(d->pixelSize, d->stretch);
    }
    d->faces.push_back(std::move(primary));
}

StampFont::~StampFont()
{
    if (d) {
        const std::lock_guard<std::mutex> lock(engineMutex());
        d->faces.clear();
    }
}

StampFont::StampFont(StampFont&&) noexcept = default;
StampFont& StampFont::operator=(StampFont&& other) noexcept
{
    if (this != &other) {
        StampFont gone(std::move(*this));
        d = std::move(other.d);
    }
    return *this;
}

bool StampFont::valid() const
{
    return d && d->valid();
}
const std::string& StampFont::family() const
{
    return d->family;
}
std::string StampFont::file() const
{
    return valid() ? d->faces.front()->path : std::string();
}
int StampFont::pixelSize() const
{
    return d->pixelSize;
}
int StampFont::stretch() const
{
    return d->stretch;
}
bool StampFont::bold() const
{
    return d->bold();
}
bool StampFont::italic() const
{
    return d->italic;
}
bool StampFont::syntheticBold() const
{
    return valid() && d->faces.front()->embolden;
}
bool StampFont::syntheticItalic() const
{
    return valid() && d->faces.front()->oblique;
}
double StampFont::ascent() const
{
    return valid() ? d->faces.front()->ascent : 0;
}
double StampFont::descent() const
{
    return valid() ? d->faces.front()->descent : 0;
}
double StampFont::leading() const
{
    return valid() ? d->faces.front()->height - d->faces.front()->ascent - d->faces.front()->descent
                   : 0;
}

FontRecord DefaultStampDrawingFont()
{
    return {"", 0, 0, 700, false};
}

namespace {

constexpr char32_t kLineSeparator = 0x2028;

struct Glyph {
    char32_t c = 0;
    StampFace* face = nullptr;
    FT_UInt index = 0;
    double advance = 0;
    bool underline = false;
};

struct Line {
    std::size_t begin = 0, end = 0; // glyphs, trailing spaces included
    double width = 0;               // without trailing spaces
    double ascent = 0, descent = 0;
    double y = 0; // top
};

bool isBreakingSpace(char32_t c)
{
    return c == ' ' || c == '\t' || c == 0x1680 || (c >= 0x2000 && c <= 0x200A && c != 0x2007) ||
           c == 0x205F || c == 0x3000;
}

bool isIdeographic(char32_t c)
{
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7A3) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFFEF) ||
           (c >= 0x20000 && c <= 0x3FFFF);
}

// Whether a line may break between a and b.
bool breakBetween(char32_t a, char32_t b)
{
    if (isBreakingSpace(b))
        return false;
    if (isBreakingSpace(a))
        return true;
    if (a == '-' && !(b >= '0' && b <= '9'))
        return true;
    return isIdeographic(a) || isIdeographic(b);
}

// The characters to draw: "&x" is x underlined, "&&" one "&", a lone "&" at the end nothing;
// newlines end lines (or are spaces on a single line); carriage returns draw nothing.
std::vector<Glyph> characters(const QString& text, bool mnemonic, bool singleLine)
{
    std::vector<Glyph> out;
    const QList<uint> ucs4 = text.toUcs4();
    for (qsizetype i = 0; i < ucs4.size(); ++i) {
        char32_t c = ucs4[i];
        bool underline = false;
        if (mnemonic && c == '&') {
            if (++i >= ucs4.size())
                break;
            c = ucs4[i];
            underline = c != '&';
        }
        if (c == '\r')
            continue;
        if (c == '\n' || c == kLineSeparator)
            c = singleLine ? U' ' : kLineSeparator;
        Glyph g;
        g.c = c;
        g.underline = underline;
        out.push_back(g);
    }
    return out;
}

void measure(StampFont::Impl& font, std::vector<Glyph>& glyphs)
{
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        Glyph& g = glyphs[i];
        if (g.c == kLineSeparator)
            continue;
        std::tie(g.face, g.index) = font.glyphFor(g.c == '\t' ? U' ' : g.c);
        FT_Fixed advance = 0;
        if (FT_Get_Advance(g.face->face, g.index, FT_LOAD_NO_HINTING, &advance) == 0)
            g.advance = advance / 65536.0;
        if (i > 0 && glyphs[i - 1].face == g.face && FT_HAS_KERNING(g.face->face)) {
            FT_Vector kern{};
            if (FT_Get_Kerning(g.face->face, glyphs[i - 1].index, g.index, FT_KERNING_UNFITTED,
                               &kern) == 0)
                glyphs[i - 1].advance += kern.x / 64.0;
        }
    }
}

// Lines of at most width (a single word may be wider), broken at spaces, after hyphens, around
// ideographs and at line separators; one line unless wrap.
std::vector<Line> breakLines(const std::vector<Glyph>& glyphs, double width, bool wrap)
{
    std::vector<Line> lines;
    std::size_t i = 0;
    do {
        Line line;
        line.begin = i;
        double pending = 0; // spaces after the last word
        bool hasUnit = false;
        bool forced = false;
        while (i < glyphs.size()) {
            if (glyphs[i].c == kLineSeparator) {
                if (wrap) {
                    ++i;
                    forced = true;
                    break;
                }
                ++i;
                continue;
            }
            // The unit up to the next break opportunity: a word, then its spaces.
            std::size_t j = i;
            double word = 0, spaces = 0;
            while (j < glyphs.size() && glyphs[j].c != kLineSeparator) {
                if (j > i && breakBetween(glyphs[j - 1].c, glyphs[j].c))
                    break;
                (isBreakingSpace(glyphs[j].c) ? spaces : word) += glyphs[j].advance;
                ++j;
            }
            if (wrap && hasUnit && line.width + pending + word > width)
                break;
            line.width += pending + word;
            pending = spaces;
            hasUnit = true;
            i = j;
        }
        line.end = forced ? i - 1 : i;
        lines.push_back(line);
        if (forced && i == glyphs.size()) {
            Line empty;
            empty.begin = empty.end = i;
            lines.push_back(empty);
        }
    } while (i < glyphs.size());
    return lines;
}

struct Pen {
    std::uint8_t colour[3];
    int dx = 0, dy = 0; // the shadow's offset
    // The part of the view this pass may draw on, right and bottom exclusive.
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Where the rasteriser's spans go: a row of the outline (y up from the baseline) is the view's
// row baseline - 1 - y.
struct SpanTarget {
    const PixelView* view;
    const Pen* pen;
    int baseline;
};

void blendSpans(int y, int count, const FT_Span* spans, void* user)
{
    const auto& t = *static_cast<const SpanTarget*>(user);
    const int row = t.baseline - 1 - y;
    if (row < t.pen->top || row >= t.pen->bottom)
        return;
    for (int i = 0; i < count; ++i) {
        const int from = std::max<int>(spans[i].x, t.pen->left);
        const int to = std::min<int>(spans[i].x + spans[i].len, t.pen->right);
        for (int x = from; x < to; ++x)
            t.view->blend(x, row, t.pen->colour, spans[i].coverage);
    }
}

// Draws a glyph with its origin at penX (a fraction of a pixel kept) on the baseline. The
// rasteriser hands over only the spans within the pen's part of the view, so a huge glyph costs
// no bitmap of its own.
void drawGlyph(const PixelView& view, const Pen& pen, const Glyph& g, double penX, int baseline)
{
    FT_Face face = g.face->face;
    if (FT_Load_Glyph(face, g.index, FT_LOAD_TARGET_LIGHT | FT_LOAD_NO_BITMAP) != 0)
        return;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE)
        return;
    if (g.face->oblique)
        FT_GlyphSlot_Oblique(slot);
    if (g.face->embolden)
        FT_GlyphSlot_Embolden(slot);
    const int originY = baseline + pen.dy;
    FT_Outline_Translate(&slot->outline, static_cast<FT_Pos>(std::lround((penX + pen.dx) * 64)), 0);
    SpanTarget target{&view, &pen, originY};
    FT_Raster_Params params{};
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT | FT_RASTER_FLAG_CLIP;
    params.gray_spans = blendSpans;
    params.user = &target;
    params.clip_box = {pen.left, originY - pen.bottom, pen.right, originY - pen.top};
    FT_Outline_Render(engine().ft, &slot->outline, &params);
}

void drawUnderline(const PixelView& view, const Pen& pen, const StampFace& face, double penX,
                   double advance, int baseline)
{
    FT_Face f = face.face;
    const double scale = f->size->metrics.y_scale / 65536.0 / 64.0;
    const double thickness = std::max(1.0, f->underline_thickness * scale);
    double offset = std::ceil(-f->underline_position * scale) + 0.5;
    if (offset > face.descent - 0.5)
        offset = std::max(0.5, face.descent - 0.5);
    const double centre = baseline + offset;
    const int top = static_cast<int>(std::lround(centre - thickness / 2)) + pen.dy;
    const int rows = std::max(1, static_cast<int>(std::lround(thickness)));
    const int left = static_cast<int>(std::floor(penX)) + pen.dx;
    const int right = static_cast<int>(std::floor(penX + advance)) + pen.dx;
    for (int y = std::max(top, pen.top); y < std::min(top + rows, pen.bottom); ++y)
        for (int x = std::max(left, pen.left); x < std::min(right, pen.right); ++x)
            view.blend(x, y, pen.colour, 255);
}

} // namespace

void DrawStampTextWithFlags(const PixelView& view, const StampFont& font, const QString& text,
                            int flags, bool shadow, std::uint32_t colorref)
{
    if (text.isEmpty() || view.empty() || !font.valid())
        return;
    const std::lock_guard<std::mutex> lock(engineMutex());
    StampFont::Impl& f = *font.d;

    const bool singleLine = (flags & Qt::TextSingleLine) != 0;
    const bool wrap = (flags & Qt::TextWordWrap) && !singleLine;
    std::vector<Glyph> glyphs = characters(text, (flags & Qt::TextShowMnemonic) != 0, singleLine);
    measure(f, glyphs);

    // The text box is one pixel short of the picture on the right and at the bottom.
    const double boxWidth = view.width - 1, boxHeight = view.height - 1;
    std::vector<Line> lines = breakLines(glyphs, boxWidth, wrap);

    // Line heights come from the faces each line uses; lines start on whole pixels, the face's
    // leading apart.
    const StampFace& primary = *f.faces.front();
    const double leading = primary.height - primary.ascent - primary.descent;
    double height = -leading;
    for (Line& line : lines) {
        line.ascent = primary.ascent;
        line.descent = primary.descent;
        for (std::size_t i = line.begin; i < line.end; ++i) {
            if (glyphs[i].face) {
                line.ascent = std::max(line.ascent, glyphs[i].face->ascent);
                line.descent = std::max(line.descent, glyphs[i].face->descent);
            }
        }
        height = std::ceil(height + leading);
        line.y = height;
        height += line.ascent + line.descent;
    }
    const double top = (flags & Qt::AlignBottom) ? boxHeight - height : 0;

    Pen ink{{static_cast<std::uint8_t>(colorref & 0xFF),
             static_cast<std::uint8_t>((colorref >> 8) & 0xFF),
             static_cast<std::uint8_t>((colorref >> 16) & 0xFF)},
            0,
            0,
            0,
            0,
            view.width - 1,
            view.height - 1};
    Pen shade{{0, 0, 0}, 1, 1, 1, 1, view.width, view.height};
    for (const Pen* pen : {shadow ? &shade : nullptr, &ink}) {
        if (!pen)
            continue;
        for (const Line& line : lines) {
            double x = 0;
            if (flags & Qt::AlignRight)
                x = boxWidth - line.width;
            else if (flags & Qt::AlignHCenter)
                x = (boxWidth - line.width) / 2;
            const int baseline = static_cast<int>(std::lround(top + line.y + line.ascent));
            const double reach = f.pixelSize * 2.0 + 2; // ink beyond a glyph's own box
            if (baseline + pen->dy - line.ascent - reach >= pen->bottom ||
                baseline + pen->dy + line.descent + reach < pen->top)
                continue;
            for (std::size_t i = line.begin; i < line.end; ++i) {
                const Glyph& g = glyphs[i];
                if (g.face && x + pen->dx < pen->right + reach &&
                    x + g.advance + pen->dx + reach > pen->left) {
                    if (!isBreakingSpace(g.c))
                        drawGlyph(view, *pen, g, x, baseline);
                    if (g.underline)
                        drawUnderline(view, *pen, *g.face, x, g.advance, baseline);
                }
                x += g.advance;
            }
        }
    }
}

std::shared_ptr<const StampFont> CachedStampFont(const FontRecord& record)
{
    // A cycle draws the same two fonts every time, and a dialog its sample at each change:
    // matching a face and opening its file once is enough. The few fonts last used are kept,
    // shared, so that one still drawing elsewhere outlives its place in the cache.
    constexpr std::size_t kKept = 4;
    struct Kept {
        FontRecord record;
        std::shared_ptr<const StampFont> font;
    };
    static std::mutex mutex;
    static std::vector<Kept> kept; // the most recently used last
    const auto same = [&](const Kept& k) {
        return k.record.face == record.face && k.record.height == record.height &&
               k.record.width == record.width && k.record.weight == record.weight &&
               k.record.italic == record.italic;
    };
    const std::lock_guard<std::mutex> lock(mutex);
    auto it = std::find_if(kept.begin(), kept.end(), same);
    if (it == kept.end()) {
        if (kept.size() == kKept)
            kept.erase(kept.begin());
        kept.push_back({record, std::make_shared<const StampFont>(record)});
    } else {
        std::rotate(it, it + 1, kept.end());
    }
    return kept.back().font;
}

void DrawStamp(const PixelView& view, const FontRecord& font, const QString& text, int alignment,
               bool shadow, std::uint32_t colorref, StampLines lines)
{
    if (text.isEmpty() || view.empty())
        return;
    const std::shared_ptr<const StampFont> stampFont =
        CachedStampFont(font.face.empty() ? DefaultStampDrawingFont() : font);
    DrawStampTextWithFlags(view, *stampFont, text, StampTextFlags(alignment, lines), shadow,
                           colorref);
}

} // namespace vistrel
