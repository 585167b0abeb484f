// BMP and JPEG pictures the way the program and its schemes use them: a picture's stored form
// (class name, size, file image) and the file images of both kinds are loaded, drawn (at size,
// stretched, transparent), copied into either kind and written back, and what was written must
// load again. The stored form also arrives as a scheme document's picture property, which the
// scheme panel loads, paints with pictures, copies and pastes, and saves and loads again.
#include "tests/fuzz/fuzz_support.h"

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/canvas.h"
#include "platform/jpeg.h"
#include "platform/streams.h"
#include "scheme/drawfiler.h"
#include "scheme/drawpanel.h"
#include "scheme/drawprops2.h"
#include "scheme/drawshapes.h"

#include <QImage>

#include <cstdio>
#include <cstdlib>

namespace {

TDrawPanel* panel = nullptr;

[[noreturn]] void Fault(const char* what)
{
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

// Draws the graphic at its size, stretched and shrunk, and transparent, on a small canvas.
void DrawGraphic(TGraphic& graphic)
{
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    TCanvas canvas(&image);
    canvas.Draw(2, 2, graphic);
    canvas.StretchDraw(TRect(0, 0, 48, 32), graphic);
    canvas.StretchDraw(TRect(5, 5, 9, 7), graphic);
    graphic.SetTransparent(!graphic.Transparent());
    canvas.Draw(-1, -1, graphic);
    graphic.SetTransparent(!graphic.Transparent());
}

// Copies are drawn too; re-encoding a JPEG from pixels is left to pictures of a modest size.
void CopyGraphic(const TGraphic& graphic)
{
    std::unique_ptr<TGraphic> clone = graphic.Clone();
    DrawGraphic(*clone);
    TBitmap bitmap;
    bitmap.Assign(graphic);
    DrawGraphic(bitmap);
    if (std::int64_t(graphic.Width()) * graphic.Height() <= 256 * 256) {
        TJPEGImage jpeg;
        jpeg.Assign(graphic);
        (void)jpeg.Data();
    }
}

// What a graphic writes must read back as the same size.
void WriteBack(const TGraphic& graphic)
{
    TMemoryStream stream;
    graphic.SaveToStream(stream);
    stream.Seek(0, soBeginning);
    std::unique_ptr<TGraphic> again = TPicture::CreateGraphic(graphic.ClassName());
    if (!again)
        Fault("a loaded graphic has no class to read it back");
    if (!Guarded([&] { again->LoadFromStream(stream); }))
        Fault("a written graphic does not load again");
    if (again->Width() != graphic.Width() || again->Height() != graphic.Height())
        Fault("a written graphic loads with another size");
}

void WriteBack(const TPicture& picture)
{
    TMemoryStream stream;
    picture.WriteData(stream);
    stream.Seek(0, soBeginning);
    TPicture again;
    if (!Guarded([&] { again.ReadData(stream); }))
        Fault("a written picture does not load again");
    if (again.Width() != picture.Width() || again.Height() != picture.Height())
        Fault("a written picture loads with another size");
}

// Everything a loaded graphic goes through; empty ones only get written back.
void Exercise(TGraphic& graphic)
{
    if (!graphic.Empty()) {
        DrawGraphic(graphic);
        CopyGraphic(graphic);
    }
    WriteBack(graphic);
}

// A scheme document holding one picture control whose picture property carries the stored form.
QByteArray SchemeDocument(std::uint8_t settings, const QByteArray& stored)
{
    QByteArray hex;
    const QByteArray all = stored.toHex().toUpper();
    for (qsizetype at = 0; at < all.size(); at += 64)
        hex += "          " + all.mid(at, 64) + "\r\n";
    QByteArray doc = "document Fuzz\r\n  Height = 60000\r\n  ID = 1\r\n  Version = 130\r\n  Width = 80000\r\n"
                     "  object Scheme: TDrawLayer\r\n    ID = 3\r\n    Visible = True\r\n  end\r\n"
                     "  object Starter: TDrawScheme\r\n    Default = True\r\n    ID = 2\r\n"
                     "    object pic: TDrawPicture\r\n";
    if (settings & 0x80)
        doc += "      AutoSize = True\r\n";
    doc += "      FrameIndex = " + QByteArray::number((settings >> 4) & 7) + "\r\n";
    doc += "      Height = 40000\r\n      ID = 4\r\n      Layer = Scheme\r\n      Left = 1000\r\n"
           "      property Picture\r\n";
    doc += "        Columns = " + QByteArray::number(1 + (settings & 3)) + "\r\n";
    doc += "        Rows = " + QByteArray::number(1 + ((settings >> 2) & 1)) + "\r\n";
    if (settings & 8)
        doc += "        Masked = True\r\n        MaskColor = 16777215\r\n";
    doc += "        Graphic = {\r\n" + hex + "          }\r\n";
    doc += "      end\r\n      Top = 1000\r\n      Width = 60000\r\n    end\r\n  end\r\nend\r\n";
    return doc;
}

void Load(TDrawPanel& into, const QByteArray& text, int mode)
{
    TMemoryStream stream(text);
    auto filer = into.CreateFiler(stream, dfpLoading);
    into.LoadFromFiler(*filer, mode);
}

QByteArray Save(TDrawPanel& from, bool asClipboard)
{
    TMemoryStream stream;
    auto filer = from.CreateFiler(stream, dfpSaving);
    from.SaveToFiler(*filer, asClipboard);
    return stream.Bytes();
}

void Paint(TDrawPanel& p)
{
    QImage image(172, 122, QImage::Format_RGB32);
    TCanvas canvas(&image);
    p.PaintTo(canvas, TRect(0, 0, 172, 122), true, true, false, false, false, true, nullptr, 50, TPoint(0, 0));
    (void)p.RenderClient();
}

void ThroughScheme(std::uint8_t settings, const QByteArray& stored)
{
    if (!Guarded([&] { Load(*panel, SchemeDocument(settings, stored), dlmDocument); }))
        return;
    Paint(*panel);
    auto* pic = dynamic_cast<TDrawPicture*>(panel->FindControl(QStringLiteral("pic")));
    if (!pic)
        return;
    // Copied and pasted, as the editor does.
    Guarded([&] {
        panel->SelectControl(pic);
        const QByteArray copied = Save(*panel, true);
        Load(*panel, copied, dlmClipboard);
        Paint(*panel);
    });
    // Written and read again: the picture comes back as it was.
    const int width = pic->PictureProp()->Width();
    const int height = pic->PictureProp()->Height();
    QByteArray saved;
    if (!Guarded([&] { saved = Save(*panel, false); }))
        Fault("a loaded scheme cannot be saved");
    if (!Guarded([&] { Load(*panel, saved, dlmDocument); }))
        Fault("a saved scheme does not load again");
    auto* again = dynamic_cast<TDrawPicture*>(panel->FindControl(QStringLiteral("pic")));
    if (!again || again->PictureProp()->Width() != width || again->PictureProp()->Height() != height)
        Fault("a saved scheme's picture comes back changed");
    Paint(*panel);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    panel = new TDrawPanel;  // one panel for the run
    panel->resize(172, 122);
    fuzz::AtShutdown([] {
        delete panel;
        panel = nullptr;
    });
    return 0;
}

// Input: the kind (0 stored form, 1 BMP file, 2 JPEG file, 3 stored form in a scheme document),
// for kind 3 a byte of the picture control's settings, then the bytes.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t kind = in.Byte() % 4;
    if (kind == 3) {
        const std::uint8_t settings = in.Byte();
        ThroughScheme(settings, in.Rest());
        return 0;
    }
    TMemoryStream stream(in.Rest());
    if (kind == 0) {
        TPicture picture;
        if (!Guarded([&] { picture.ReadData(stream); }))
            return 0;
        if (TGraphic* graphic = picture.Graphic())
            Exercise(*graphic);
        TPicture copy;
        copy.Assign(picture);
        WriteBack(copy);
        return 0;
    }
    std::unique_ptr<TGraphic> graphic;
    if (kind == 1)
        graphic = std::make_unique<TBitmap>();
    else
        graphic = std::make_unique<TJPEGImage>();
    if (!Guarded([&] { graphic->LoadFromStream(stream); }))
        return 0;
    Exercise(*graphic);
    return 0;
}
