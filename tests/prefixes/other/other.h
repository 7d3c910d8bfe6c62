// A header of a folder the prefix table does not list.
#pragma once

int other_open();
