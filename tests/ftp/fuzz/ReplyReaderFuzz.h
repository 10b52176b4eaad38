#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel::test {

// Feeds arbitrary bytes to the FTP session's reply reader (ReadReply over ReadLine) as if a server
// sent them: the first byte limits how many bytes each receive hands out (0: no limit), the rest
// is the stream, after which the server closes. Reads replies until one fails. Returns false when
// a reply breaks what callers rely on (a message with CR or NUL, an LF anywhere but at the end,
// more than one line's bytes, a reply class that does not match the message).
bool FuzzReplyReader(const uint8_t* data, size_t size);

} // namespace vistrel::test
