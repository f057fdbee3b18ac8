#pragma once
// A holder of one graphic of any registered kind, and the program-wide registry that maps
// file extensions to graphic classes.

#include "graphics/Graphic.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

using TGraphicFactory = std::unique_ptr<TGraphic> (*)();

struct TFileFormat {
    std::string Extension;    // without the dot, as registered
    std::string Description;
    TGraphicFactory Factory = nullptr;
};

class TPicture : public TPersistent {
public:
    TPicture();
    ~TPicture() override;

    std::string ClassName() const override { return "TPicture"; }
    void Assign(const TPersistent* source) override;

    TGraphic* Graphic() const { return FGraphic.get(); }
    // Takes a copy of the graphic (null clears).
    void SetGraphic(const TGraphic* graphic);
    int Width() const { return FGraphic ? FGraphic->Width() : 0; }
    int Height() const { return FGraphic ? FGraphic->Height() : 0; }

    // Chooses the graphic class by the file's extension (case-insensitive); an unknown
    // extension raises EInvalidGraphic.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    // The registry. A later registration of an extension replaces the earlier one.
    // "bmp" (TBitmap) is registered from the start.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   TGraphicFactory factory);
    static void UnregisterGraphicClass(TGraphicFactory factory);
    // The format registered for an extension (with or without the dot), or null.
    static std::optional<TFileFormat> FindFileFormat(const std::string& extension);
    static std::vector<TFileFormat> FileFormats();

protected:
    void AssignTo(TPersistent& dest) const override;

private:
    std::unique_ptr<TGraphic> FGraphic;
};

// Registers a graphic class for the life of the program: a namespace-scope object of this
// type in the class's own source file does it at start-up and undoes it at shut-down.
class TFileFormatRegistration {
public:
    TFileFormatRegistration(const std::string& extension, const std::string& description, TGraphicFactory factory);
    ~TFileFormatRegistration();
    TFileFormatRegistration(const TFileFormatRegistration&) = delete;
    TFileFormatRegistration& operator=(const TFileFormatRegistration&) = delete;

private:
    TGraphicFactory FFactory;
};
