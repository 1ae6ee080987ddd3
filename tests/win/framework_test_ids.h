// Resource identifiers of the framework tests' own resources.
#pragma once

#define IDD_TEST_DIALOG 200
#define IDD_TEST_LISTS 201
#define IDC_TEST_LIST 210
#define IDC_TEST_BUTTON 211
#define IDC_SORTED 220
#define IDC_UNSORTED 221
#define IDS_SHORT 300
#define IDS_LONG 301
#define IDS_ABSENT 399
