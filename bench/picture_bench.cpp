// Decoding a 1024 x 1024 run-length 24-bit TGA and a 1024 x 1024 JPEG level shot with the
// program's own readers, beside Qt's readers (the TGA one from Debian's
// qt6-image-formats-plugins, which reads uncompressed TGA only, so it gets the same picture
// uncompressed; JPEG built in). Both sides end with the pixels in memory.
#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench_dir.h"
#include "preview/jpeg.h"
#include "preview/targa.h"

namespace {

struct Pictures {
    BenchDir dir;
    Pictures() {
        const std::string command =
            "convert -size 1024x1024 plasma:fractal -seed 7 "
            "-compress RLE " +
            dir.Native() +
            "shot.tga && "
            "convert " +
            dir.Native() + "shot.tga -compress None " + dir.Native() +
            "raw.tga && "
            "convert " +
            dir.Native() + "shot.tga -quality 90 " + dir.Native() + "shot.jpg";
        if (std::system(command.c_str()) != 0)
            std::abort();
        // Qt's reader wants the TGA 2.0 footer, which ImageMagick leaves out.
        std::FILE* raw = std::fopen((dir.Native() + "raw.tga").c_str(), "ab");
        static const char Footer[26] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
        std::fwrite(Footer, 1, sizeof Footer, raw);
        std::fclose(raw);
    }
    std::string Program(const char* name) const { return dir.Program(name); }
    QString Native(const char* name) const { return QString::fromStdString(dir.Native() + name); }
};

Pictures& Files() {
    static Pictures pictures;
    return pictures;
}

void OurTga(benchmark::State& state) {
    const std::string path = Files().Program("shot.tga");
    for (auto _ : state) {
        fraglane::preview::Bitmap bitmap;
        fraglane::preview::LoadTGABitmap(path, bitmap);
        if (bitmap.Width() != 1024)
            state.SkipWithError("not decoded");
    }
}

// Qt's TGA reader takes uncompressed pictures only: it reads the same picture stored so.
void OurUncompressedTga(benchmark::State& state) {
    const std::string path = Files().Program("raw.tga");
    for (auto _ : state) {
        fraglane::preview::Bitmap bitmap;
        fraglane::preview::LoadTGABitmap(path, bitmap);
        if (bitmap.Width() != 1024)
            state.SkipWithError("not decoded");
    }
}

void QtTga(benchmark::State& state) {
    const QString path = Files().Native("raw.tga");
    for (auto _ : state) {
        QImage image(path, "TGA");
        if (image.width() != 1024)
            state.SkipWithError("Qt's TGA reader is missing (qt6-image-formats-plugins)");
    }
}

void OurJpeg(benchmark::State& state) {
    const std::string path = Files().Program("shot.jpg");
    for (auto _ : state) {
        fraglane::preview::Bitmap bitmap;
        if (!fraglane::preview::DecodeJpeg(path, bitmap, nullptr))
            state.SkipWithError("not decoded");
    }
}

void QtJpeg(benchmark::State& state) {
    const QString path = Files().Native("shot.jpg");
    for (auto _ : state) {
        QImage image(path, "JPG");
        if (image.width() != 1024)
            state.SkipWithError("not decoded");
    }
}

}  // namespace

BENCHMARK(OurTga)->Unit(benchmark::kMillisecond);
BENCHMARK(OurUncompressedTga)->Unit(benchmark::kMillisecond);
BENCHMARK(QtTga)->Unit(benchmark::kMillisecond);
BENCHMARK(OurJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(QtJpeg)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
