// File URLs parsed with uriparser.
#pragma once
