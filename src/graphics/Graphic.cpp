#include "graphics/Graphic.h"

#include "graphics/Exceptions.h"
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
    if (value != transparent_) {
        transparent_ = value;
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
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

void TGraphic::Changed()
{
    modified_ = true;
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
