#pragma once
struct TMinutia { float X = 0; float Y = 0; float Direction = 0; };
