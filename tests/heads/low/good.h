// A file that says what it holds.
#pragma once
