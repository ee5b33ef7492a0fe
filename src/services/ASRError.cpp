#include "services/ASRError.h"

namespace palaverly {

ASRError::ASRError(Case kind, int statusCode, std::string text)
    : m_case(kind)
    , m_statusCode(statusCode)
    , m_text(std::move(text))
{
}

ASRError ASRError::submitFailed(int statusCode, std::string body)
{
    return {Case::submitFailed, statusCode, std::move(body)};
}

ASRError ASRError::jobFailed(std::string message)
{
    return {Case::jobFailed, 0, std::move(message)};
}

ASRError ASRError::fileError(std::string underlying)
{
    return {Case::fileError, 0, std::move(underlying)};
}

ASRError ASRError::invalidResponse()
{
    return {Case::invalidResponse, 0, {}};
}

std::string ASRError::description() const
{
    switch (m_case) {
    case Case::submitFailed:
        return "Не удалось отправить на расшифровку: HTTP " + std::to_string(m_statusCode) + " — " + m_text;
    case Case::jobFailed:
        return "Ошибка расшифровки: " + m_text;
    case Case::fileError:
        return "Ошибка файла: " + m_text;
    case Case::invalidResponse:
        break;
    }
    return "Сервер расшифровки вернул некорректный ответ";
}

} // namespace palaverly
