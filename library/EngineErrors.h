#pragma once

#include <QString>

// The domains and detail keys of the engine's error records, as the reports
// show them.
namespace EngineErrors {

// The library-file writer's open failures (code = errno).
inline const QString FileIODomain = QStringLiteral("com.Orvana.FileIO");
// System call failures (code = errno).
inline const QString PosixDomain = QStringLiteral("NSPOSIXErrorDomain");
// XML parse errors of the description-file readers (code = libxml2's).
inline const QString XMLParserDomain = QStringLiteral("XMLParserErrorDomain");
// The file or folder an error is about.
inline const QString FilePathKey = QStringLiteral("NSFilePath");
// Why a copy was refused.
inline const QString FailureReasonKey = QStringLiteral("NSLocalizedFailureReason");

} // namespace EngineErrors
