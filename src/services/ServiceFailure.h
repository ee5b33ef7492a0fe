#pragma once

#include <string>
#include <variant>

// What a call to a remote service can end with besides its own typed errors: the caller's
// cancellation, a failure below HTTP, or an answer that is not the JSON the protocol promises.
namespace palaverly {

// The caller's stop token was triggered; never reported as a network failure.
struct Cancelled {
    std::string description() const;
    bool operator==(const Cancelled&) const = default;
};

// No usable HTTP answer: no connection, a broken connection, a timeout, a TLS failure.
struct TransportError {
    enum class Kind { timedOut, cannotConnect, cannotFindHost, connectionLost, secureConnectionFailed, other };

    Kind kind = Kind::other;
    // libcurl's result code and error text, kept for diagnosis; the description does not show them.
    int curlCode = 0;
    std::string detail;

    std::string description() const;
    bool operator==(const TransportError&) const = default;
};

// A successful answer whose body could not be decoded.
struct DecodingError {
    enum class Kind { missingData, invalidFormat };

    Kind kind = Kind::invalidFormat;
    // Which part was missing or malformed, for diagnosis only.
    std::string detail;

    std::string description() const;
    bool operator==(const DecodingError&) const = default;
};

// Exactly one of the four outcomes; ServiceError is the client's own error type.
template <class ServiceError> class ServiceFailure {
public:
    using Variant = std::variant<Cancelled, ServiceError, TransportError, DecodingError>;

    ServiceFailure(Cancelled value)
        : m_value(value)
    {
    }
    ServiceFailure(ServiceError value)
        : m_value(std::move(value))
    {
    }
    ServiceFailure(TransportError value)
        : m_value(std::move(value))
    {
    }
    ServiceFailure(DecodingError value)
        : m_value(std::move(value))
    {
    }

    bool isCancelled() const { return std::holds_alternative<Cancelled>(m_value); }
    // Null unless the failure is of that kind.
    const ServiceError* serviceError() const { return std::get_if<ServiceError>(&m_value); }
    const TransportError* transportError() const { return std::get_if<TransportError>(&m_value); }
    const DecodingError* decodingError() const { return std::get_if<DecodingError>(&m_value); }

    // The sentence for the user and the log.
    std::string description() const
    {
        return std::visit([](const auto& value) { return value.description(); }, m_value);
    }

    bool operator==(const ServiceFailure&) const = default;

private:
    Variant m_value;
};

} // namespace palaverly
