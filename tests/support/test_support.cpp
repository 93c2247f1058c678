#include "support/test_support.h"

#include "library/poem.h"

TMessageBoxRecorder::TMessageBoxRecorder()
{
    FPrevious = SetMessageBoxHook([this](const TMessageBoxCall& call) { FCalls.push_back(call); });
}

TMessageBoxRecorder::~TMessageBoxRecorder()
{
    SetMessageBoxHook(std::move(FPrevious));
}

std::string G(const char* utf8)
{
    return GbkFromUtf8(utf8);
}

TScopedProgramDir::TScopedProgramDir()
{
    SetProgramDirectoryOverride(Path());
}

TScopedProgramDir::~TScopedProgramDir()
{
    SetProgramDirectoryOverride(QString());
}
