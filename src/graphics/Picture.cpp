#include "graphics/Picture.h"

#include "graphics/Bitmap.h"
#include "base/Exceptions.h"

#include <algorithm>
#include <cctype>
#include <mutex>

namespace {

std::string Normalised(std::string extension)
{
    if (!extension.empty() && extension.front() == '.') {
        extension.erase(0, 1);
    }
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::unique_ptr<TGraphic> NewBitmap() { return std::make_unique<TBitmap>(); }

struct Registry {
    std::mutex lock;
    std::vector<TFileFormat> formats{{"bmp", "Bitmaps", &NewBitmap}};
};

Registry& TheRegistry()
{
    static Registry registry;  // built on first use, so registrations at start-up are safe
    return registry;
}

std::string ExtensionOf(const std::string& fileName)
{
    const std::size_t slash = fileName.find_last_of('/');
    const std::size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return {};
    }
    return fileName.substr(dot + 1);
}

}  // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicFactory factory)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    const std::string key = Normalised(extension);
    std::erase_if(r.formats, [&](const TFileFormat& f) { return f.Extension == key; });
    r.formats.push_back({key, description, factory});
}

void TPicture::UnregisterGraphicClass(TGraphicFactory factory)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    std::erase_if(r.formats, [&](const TFileFormat& f) { return f.Factory == factory; });
}

std::optional<TFileFormat> TPicture::FindFileFormat(const std::string& extension)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    const std::string key = Normalised(extension);
    for (const TFileFormat& f : r.formats) {
        if (f.Extension == key) {
            return f;
        }
    }
    return std::nullopt;
}

std::vector<TFileFormat> TPicture::FileFormats()
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    return r.formats;
}

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(const TGraphic* graphic)
{
    if (graphic == nullptr) {
        FGraphic.reset();
        return;
    }
    for (const TFileFormat& f : FileFormats()) {
        auto probe = f.Factory();
        if (probe->ClassName() == graphic->ClassName()) {
            probe->Assign(graphic);
            FGraphic = std::move(probe);
            return;
        }
    }
    auto copy = std::make_unique<TBitmap>();
    copy->Assign(graphic);
    FGraphic = std::move(copy);
}

void TPicture::Assign(const TPersistent* source)
{
    if (source == nullptr) {
        FGraphic.reset();
    } else if (const auto* picture = dynamic_cast<const TPicture*>(source)) {
        SetGraphic(picture->FGraphic.get());
    } else if (const auto* graphic = dynamic_cast<const TGraphic*>(source)) {
        SetGraphic(graphic);
    } else {
        TPersistent::Assign(source);
    }
}

void TPicture::AssignTo(TPersistent& dest) const
{
    if (FGraphic && dynamic_cast<TGraphic*>(&dest) != nullptr) {
        dest.Assign(FGraphic.get());
        return;
    }
    TPersistent::AssignTo(dest);
}

void TPicture::LoadFromFile(const std::string& fileName)
{
    const std::string extension = ExtensionOf(fileName);
    TGraphicFactory factory = nullptr;
    if (const auto f = FindFileFormat(extension)) {
        factory = f->Factory;
    }
    if (factory == nullptr) {
        throw EInvalidGraphic("Unknown picture file extension (." + extension + ")");
    }
    auto graphic = factory();
    graphic->LoadFromFile(fileName);
    FGraphic = std::move(graphic);
}

void TPicture::SaveToFile(const std::string& fileName)
{
    if (FGraphic) {
        FGraphic->SaveToFile(fileName);
    }
}

TFileFormatRegistration::TFileFormatRegistration(const std::string& extension, const std::string& description,
                                                 TGraphicFactory factory)
    : FFactory(factory)
{
    TPicture::RegisterFileFormat(extension, description, factory);
}

TFileFormatRegistration::~TFileFormatRegistration() { TPicture::UnregisterGraphicClass(FFactory); }
