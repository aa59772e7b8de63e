#pragma once

// The JSON form, equality and hashing of records described by a field table.
#include "platform/json/field_table.hpp"
#include "platform/json/record_decoder.hpp"
#include "platform/json/record_encoder.hpp"
#include "platform/json/record_equality.hpp"
