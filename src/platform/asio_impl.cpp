// The one translation unit that compiles standalone Asio and its SSL layer;
// every other file includes the headers only (ASIO_SEPARATE_COMPILATION).
#include <asio/impl/src.hpp>
#include <asio/ssl/impl/src.hpp>
