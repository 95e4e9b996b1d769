#pragma once
// Resource identifiers, shared by the resource script and the code.

#define IDD_TESSARD_DIALOG 102
#define IDD_CERT_EXPIRED 137
#define IDI_TOKEN 128
#define IDI_TOKEN_BUSY1 129
#define IDI_TOKEN_BUSY2 130
#define IDC_EXPIRED_MESSAGE 1032
