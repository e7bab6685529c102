#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstddef>
#include <cstdint>

// Shared by the fuzz targets: splitting an input into fields, a scratch folder, and the check
// that turns a broken promise into a crash the fuzzer keeps.

// The first count lines of the input (without their '\n') and then everything after them; fewer
// fields when the input has fewer lines.
QList<QByteArray> SplitInput(const std::uint8_t* data, std::size_t size, int count);
// A folder of this process for files the targets write, ending in '/'.
QString ScratchFolder();
// Writes bytes to name in the scratch folder and returns the path.
QString ScratchFile(const QString& name, const QByteArray& bytes);

[[noreturn]] void FuzzFailure(const char* check, const char* file, int line);
#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            FuzzFailure(#condition, __FILE__, __LINE__);                                                               \
        }                                                                                                              \
    } while (false)
