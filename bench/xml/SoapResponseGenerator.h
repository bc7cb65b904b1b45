#pragma once

#include <QByteArray>

// A SOAP 1.1 response of about targetBytes bytes, shaped like the media
// server's replies: an envelope around a result list of records with
// namespaced, typed and escaped fields. The same size always gives the same
// bytes.
QByteArray soapResponseOfSize(qsizetype targetBytes);
