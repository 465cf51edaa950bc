#pragma once
#include <span>
#include "MinutiaeTemplate.h"
TMinutiaeTemplate MergeEnrollment(std::span<const TMinutiaeTemplate> APresses);
