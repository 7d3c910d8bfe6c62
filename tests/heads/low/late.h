#pragma once
// A head after the pragma comes too late.
