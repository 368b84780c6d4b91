#pragma once
// UTF-8 copy of a UTF-16 text, for paths and names shown in error messages.

// Returns a newly allocated, null-terminated UTF-8 copy that the caller releases
// with free(); nullptr when the text is null, empty after conversion or not valid
// UTF-16, or when the allocation fails. Callers treat nullptr as "no text".
char* wstr_to_utf8(const char16_t* text) noexcept;
