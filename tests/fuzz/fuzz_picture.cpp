// BMP and JPEG pictures: a picture's stored form (class name, size, file image) as scheme
// documents hold it, and the file images of both kinds as loaded from files.
#include "tests/fuzz/fuzz_support.h"

#include "platform/application.h"
#include "platform/bitmap.h"
#include "platform/jpeg.h"
#include "platform/streams.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::InitApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input in(data, size);
    const std::uint8_t kind = in.Byte() % 3;
    TMemoryStream stream(in.Rest());
    Guarded([&] {
        std::unique_ptr<TGraphic> graphic;
        if (kind == 0) {
            TPicture picture;
            picture.ReadData(stream);
            return;
        }
        if (kind == 1)
            graphic = std::make_unique<TBitmap>();
        else
            graphic = std::make_unique<TJPEGImage>();
        graphic->LoadFromStream(stream);
        (void)graphic->ToImage();
    });
    return 0;
}
