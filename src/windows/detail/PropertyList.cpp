#include "windows/detail/PropertyList.h"

#include "platform/Error.h"

#include <QDateTime>
#include <QVariantList>
#include <QXmlStreamWriter>

namespace PropertyList {
namespace {

void writeValue(QXmlStreamWriter &xml, const QVariant &value);

void writeDictionary(QXmlStreamWriter &xml, const QVariantMap &map)
{
    if (map.isEmpty()) {
        xml.writeEmptyElement(QStringLiteral("dict"));
        return;
    }
    xml.writeStartElement(QStringLiteral("dict"));
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        xml.writeTextElement(QStringLiteral("key"), it.key());
        writeValue(xml, it.value());
    }
    xml.writeEndElement();
}

void writeValue(QXmlStreamWriter &xml, const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Bool:
        xml.writeEmptyElement(value.toBool() ? QStringLiteral("true") : QStringLiteral("false"));
        return;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
        xml.writeTextElement(QStringLiteral("integer"), QString::number(value.toLongLong()));
        return;
    case QMetaType::ULongLong:
        xml.writeTextElement(QStringLiteral("integer"), QString::number(value.toULongLong()));
        return;
    case QMetaType::Double:
        xml.writeTextElement(QStringLiteral("real"), QString::number(value.toDouble(), 'g', 17));
        return;
    case QMetaType::QString:
        xml.writeTextElement(QStringLiteral("string"), value.toString());
        return;
    case QMetaType::QByteArray:
        xml.writeTextElement(QStringLiteral("data"), QString::fromLatin1(value.toByteArray().toBase64()));
        return;
    case QMetaType::QDateTime:
        xml.writeTextElement(QStringLiteral("date"),
                             value.toDateTime().toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ")));
        return;
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        if (list.isEmpty()) {
            xml.writeEmptyElement(QStringLiteral("array"));
            return;
        }
        xml.writeStartElement(QStringLiteral("array"));
        for (const QVariant &item : list) {
            writeValue(xml, item);
        }
        xml.writeEndElement();
        return;
    }
    case QMetaType::QVariantMap:
        writeDictionary(xml, value.toMap());
        return;
    default:
        throw SystemError(QStringLiteral("A property list cannot hold a value of type %1.")
                              .arg(QString::fromLatin1(value.metaType().name())));
    }
}

} // namespace

QByteArray toXml(const QVariantMap &root)
{
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(-1);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral(
        R"(<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">)"));
    xml.writeStartElement(QStringLiteral("plist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));
    writeDictionary(xml, root);
    xml.writeEndElement();
    xml.writeEndDocument();
    return bytes;
}

} // namespace PropertyList
