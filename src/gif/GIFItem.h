#pragma once
// The common ground of the GIF object model: the version and severity kinds, the warning
// callback, the pixel limit, the base class of the blocks a GIF file is made of (header,
// frames, extensions, trailer) and the list that owns them.

#include "gif/GIFException.h"
#include "graphics/Graphic.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TStream;
class TGIFImage;
class TGIFSubImage;
class TGIFExtension;

enum class TGIFVersion { gvUnknown, gv87a, gv89a };
enum class TGIFSeverity { gsInfo, gsWarning, gsError };

// Soft problems: the image, the object that met the problem, a severity and the message.
using TGIFWarning = std::function<void(TGIFImage& Sender, TPersistent* Item, TGIFSeverity Severity,
                                       const std::string& Message)>;

// The largest pixel count of a logical screen or a frame that is accepted (2^28).
constexpr std::int64_t GIFMaxPixels = std::int64_t{1} << 28;

// GIFException "Image too large" when Width x Height is beyond Limit (GIFMaxPixels at most).
inline void CheckGIFPixelCount(std::int64_t Width, std::int64_t Height, std::int64_t Limit = GIFMaxPixels)
{
    if (Width * Height > (Limit < GIFMaxPixels ? Limit : GIFMaxPixels))
        throw GIFException(GifMessage::TooLarge);
}

// One block (or run of blocks) of a GIF file, belonging to an image; warnings go to the image.
class TGIFItem : public TPersistent {
public:
    explicit TGIFItem(TGIFImage* Image) : FImage(Image) {}

    std::string ClassName() const override { return "TGIFItem"; }
    virtual TGIFVersion Version() const { return TGIFVersion::gv87a; }
    virtual void Warning(TGIFSeverity Severity, const std::string& Message);

    virtual void SaveToStream(TStream& Stream) = 0;
    virtual void LoadFromStream(TStream& Stream) = 0;
    // Through memory: the file is written whole once all of it is encoded (base/SafeFile.h).
    virtual void SaveToFile(const std::string& FileName);
    virtual void LoadFromFile(const std::string& FileName);

    TGIFImage* Image() const noexcept { return FImage; }

protected:
    TGIFImage* FImage;
};

// An ordered list that owns its items.
template <class T>
class TGIFList {
public:
    explicit TGIFList(TGIFImage* Image) : FImage(Image) {}

    int Count() const noexcept { return static_cast<int>(FItems.size()); }
    T& operator[](int Index) const { return *FItems.at(static_cast<std::size_t>(Index)); }
    T& Add(std::unique_ptr<T> Item)
    {
        FItems.push_back(std::move(Item));
        return *FItems.back();
    }
    void Delete(int Index) { FItems.erase(FItems.begin() + Index); }
    // Removes the item without deleting it (null when it is not in the list).
    std::unique_ptr<T> Extract(const T* Item)
    {
        for (auto it = FItems.begin(); it != FItems.end(); ++it) {
            if (it->get() == Item) {
                std::unique_ptr<T> out = std::move(*it);
                FItems.erase(it);
                return out;
            }
        }
        return nullptr;
    }
    void Clear() { FItems.clear(); }
    TGIFImage* Image() const noexcept { return FImage; }
    auto begin() const { return FItems.begin(); }
    auto end() const { return FItems.end(); }

private:
    TGIFImage* FImage;
    std::vector<std::unique_ptr<T>> FItems;
};

// The frames of an image, and the extensions of a frame.
using TGIFImageList = TGIFList<TGIFSubImage>;
using TGIFExtensionList = TGIFList<TGIFExtension>;
