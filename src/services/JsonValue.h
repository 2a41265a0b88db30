#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <optional>

namespace JsonValue {

/**
 * A JSON number as an integer, only when it is whole and fits in 64 bits. toInteger() reports
 * anything else as its fallback, so two different fallbacks tell a real value from a refusal.
 */
inline std::optional<qint64> integer(const QJsonValue &value)
{
    if (!value.isDouble()) {
        return std::nullopt;
    }
    const qint64 result = value.toInteger(0);
    if (result != value.toInteger(1)) {
        return std::nullopt;
    }
    return result;
}

/** The object `json` holds, or nothing when it is not well-formed JSON or not an object. */
inline std::optional<QJsonObject> object(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    return document.object();
}

} // namespace JsonValue
