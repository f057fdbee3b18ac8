#include "gif/GIFItem.h"

#include "gif/GIFImage.h"
#include "graphics/Stream.h"

void TGIFItem::Warning(TGIFSeverity Severity, const std::string& Message)
{
    if (FImage)
        FImage->Warning(this, Severity, Message);
}

void TGIFItem::SaveToFile(const std::string& FileName)
{
    TMemoryStream stream;
    SaveToStream(stream);
    stream.SaveToFile(FileName);
}

void TGIFItem::LoadFromFile(const std::string& FileName)
{
    TMemoryStream stream;
    stream.LoadFromFile(FileName);
    LoadFromStream(stream);
}
