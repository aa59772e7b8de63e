#pragma once

// The JSON form, equality and hashing of records described by a field table.
#include "model/json/field_table.hpp"
#include "model/json/record_decoder.hpp"
#include "model/json/record_encoder.hpp"
#include "model/json/record_equality.hpp"
