#include "bench/xml/SoapResponseGenerator.h"

QByteArray soapResponseOfSize(qsizetype targetBytes)
{
    QByteArray text;
    text.reserve(targetBytes + 4096);
    text += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
            "<s:Body><BrowseMediaResponse xmlns=\"http://www.orvana.example/Orvana/WebServices/2009/07/\">"
            "<BrowseMediaResult xmlns:a=\"http://schemas.datacontract.org/2004/07/Orvana\" "
            "xmlns:i=\"http://www.w3.org/2001/XMLSchema-instance\">";
    const QByteArray closing = "</BrowseMediaResult></BrowseMediaResponse></s:Body></s:Envelope>\n";
    for (int record = 0; text.size() + closing.size() < targetBytes; ++record) {
        const QByteArray number = QByteArray::number(record);
        const QByteArray artist = QByteArray::number(record % 97);
        const QByteArray album = QByteArray::number(record % 389);
        text.append("<a:MediaItem><a:ItemID>").append(number).append("</a:ItemID>");
        text.append("<a:Title>Track ").append(number).append(" &amp; friends</a:Title>");
        text.append("<a:Artist>Artist ").append(artist).append("</a:Artist>");
        text.append("<a:Album>Album ").append(album).append("</a:Album>");
        text.append("<a:Duration>").append(QByteArray::number(180 + record % 240)).append("</a:Duration>");
        text.append("<a:Genre i:nil=\"true\"/>");
        text.append("<a:Path>Music/Artist ").append(artist).append("/Album ").append(album).append('/');
        text.append(number).append(".m4a</a:Path>");
        text.append("<a:Rating i:type=\"a:int\">").append(QByteArray::number(record % 5)).append("</a:Rating>");
        text.append("</a:MediaItem>");
    }
    text.append(closing);
    return text;
}
