#pragma once
// The site's sentences, as the program and the browser show them.

namespace site::messages {

inline constexpr char kBadRequest[] = "Неверный запрос";
inline constexpr char kBadLinkRequest[] = "Неверный запрос: нужен JSON-объект с полем code";
inline constexpr char kBadLinkCode[] = "Код неверный или устарел. Получите новый код в личном кабинете";
inline constexpr char kTooManyAttempts[] = "Слишком много попыток. Подождите минуту и попробуйте снова";
inline constexpr char kNoToken[] = "Приложение не привязано к профилю. Привяжите его в разделе «Профиль»";
inline constexpr char kBadToken[] = "Ключ доступа недействителен. Привяжите приложение заново";
inline constexpr char kNotPng[] = "Файл не является изображением PNG";
inline constexpr char kShotTooLarge[] = "Снимок больше 12 МБ, сайт его не примет";
inline constexpr char kRequestTooLarge[] = "Слишком большой запрос";
inline constexpr char kHeadersTooLarge[] = "Слишком много заголовков запроса";
inline constexpr char kDailyLimit[] = "Дневной лимит загрузок исчерпан. Он обновится в 00:00 UTC";
inline constexpr char kNotFound[] = "Нет такого адреса";
inline constexpr char kMethodNotAllowed[] = "Этот метод здесь не поддерживается";
inline constexpr char kInternal[] = "Внутренняя ошибка сайта. Попробуйте позже";
inline constexpr char kUnavailable[] = "Сайт временно недоступен. Попробуйте через минуту";

inline constexpr char kShotNotFound[] = "Снимок не найден";
inline constexpr char kShotExpired[] = "Срок действия ссылки истёк";
inline constexpr char kPageNotFound[] = "Страница не найдена";
inline constexpr char kWrongPassword[] = "Неверное имя пользователя или пароль";
// Followed by the number of minutes and "мин.".
inline constexpr char kAccountThrottled[] = "Слишком много неудачных попыток входа в этот профиль. Попробуйте снова через";
inline constexpr char kWrongCurrentPassword[] = "Текущий пароль неверен";
inline constexpr char kPasswordsDiffer[] = "Новый пароль и его повтор не совпадают";
inline constexpr char kBadNewPassword[] = "Новый пароль не может быть пустым или длиннее 1024 байт";
inline constexpr char kPasswordChanged[] = "Пароль изменён. На других устройствах вход в личный кабинет завершён";
inline constexpr char kStaleForm[] = "Форма устарела. Обновите страницу и попробуйте снова";

}  // namespace site::messages
