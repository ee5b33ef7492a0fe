#include "services/ServiceFailure.h"

namespace palaverly {

std::string Cancelled::description() const
{
    return "Операция отменена.";
}

std::string TransportError::description() const
{
    switch (kind) {
    case Kind::timedOut:
        return "Превышен лимит времени на запрос.";
    case Kind::cannotConnect:
        return "Не удалось подключиться к серверу.";
    case Kind::cannotFindHost:
        return "Не удалось найти сервер с указанным именем хоста.";
    case Kind::connectionLost:
        return "Сетевое соединение было потеряно.";
    case Kind::secureConnectionFailed:
        return "Произошла ошибка SSL, и безопасное соединение с сервером невозможно.";
    case Kind::other:
        break;
    }
    return "Произошла неизвестная ошибка сети.";
}

std::string DecodingError::description() const
{
    if (kind == Kind::missingData)
        return "Не удалось прочитать данные, так как они отсутствуют.";
    return "Не удалось прочитать данные, так как они имеют неверный формат.";
}

} // namespace palaverly
