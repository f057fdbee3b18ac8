#include "graphics/Graphic.h"

#include "base/Exceptions.h"
#include "graphics/Stream.h"

void TPersistent::Assign(const TPersistent* source)
{
    if (source == nullptr) {
        AssignError(source);
    }
    source->AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const { dest.AssignError(this); }

void TPersistent::AssignError(const TPersistent* source) const
{
    const std::string sourceName = source != nullptr ? source->ClassName() : "nil";
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

void TGraphic::SetTransparent(bool value)
{
    if (value != FTransparent) {
        FTransparent = value;
        Changed();
    }
}

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    // Encoded whole before the file is touched, then saved through a temporary file: a failure
    // while encoding or writing leaves the file as it was.
    TMemoryStream stream;
    SaveToStream(stream);
    stream.SaveToFile(fileName);
}

void TGraphic::Changed()
{
    FModified = true;
    if (OnChange) {
        OnChange(*this);
    }
}

void TGraphic::Progress(TProgressStage stage, std::uint8_t percentDone, bool redrawNow, const TRect& r,
                        const std::string& message)
{
    if (OnProgress) {
        OnProgress(*this, stage, percentDone, redrawNow, r, message);
    }
}
