#include "host/JsonOutput.h"

#include <math.h>

std::string JsonText(const Json& value)
{
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

Json Rounded(double value, int decimals)
{
    if (!isfinite(value))
        return nullptr;
    double scale = pow(10.0, decimals);
    return round(value * scale) / scale;
}

Json NumberOrNull(int64_t value)
{
    return value < 0 ? Json(nullptr) : Json(value);
}

Json TextOrNull(const std::string& value)
{
    return value.empty() ? Json(nullptr) : Json(value);
}

Json FailureJson(const std::string& command, const std::string& driver, const std::string& code,
                 const std::string& error, const std::string& cause)
{
    Json o;
    o["command"] = TextOrNull(command);
    o["ok"] = false;
    o["code"] = code;
    o["driver"] = TextOrNull(driver);
    o["error"] = error;
    o["cause"] = TextOrNull(cause);
    return o;
}
