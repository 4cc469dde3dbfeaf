/*
 * Resource ids of the Keyhold plug-in.
 *
 * Included by the C++ code and by keyhold.rc (windres), so this file holds
 * plain C preprocessor macros only: no enums, no constexpr, no includes.
 */
#ifndef KEYHOLD_RES_RESOURCE_H
#define KEYHOLD_RES_RESOURCE_H

/* Icons shown for folders and entries in the file panel. */
#define IDI_FOLDER_CLOSED       3000    /* closed folder */
#define IDI_FOLDER_OPEN         3001    /* open folder */
#define IDI_GROUP_EMAIL         3002    /* e-mail group: envelope */
#define IDI_GROUP_INTERNET      3003    /* internet group: globe */
#define IDI_GROUP_HOMEBANKING   3004    /* home banking group: bank with coin */
#define IDI_GROUP_NETWORK       3005    /* network group: connected nodes */
#define IDI_GROUP_WINDOWS       3006    /* windows/OS group: application window */
#define IDI_GROUP_GENERAL       3007    /* general group: card with key */

/* 3008..3016 are free for further group icons. */

#define IDI_ENTRY               3017    /* password entry: key */
#define IDI_LOCKED              3018    /* locked database: steel padlock */

/* 3019 is free. */

#define IDI_NEW_ENTRY           3020    /* "new entry" command: key with plus */
#define IDI_LOCK                3021    /* "lock" command: closed padlock */
#define IDI_UNLOCK              3022    /* "unlock" command: open padlock */
#define IDI_AUTOTYPE_ON         3023    /* auto-type enabled: keyboard, green dot */
#define IDI_AUTOTYPE_OFF        3024    /* auto-type disabled: keyboard, grey dot */

/*
 * The master password dialog. Control ids and icon ids are separate name
 * spaces: 3024 is an icon above and a control here. The dialog's logic has
 * the same names and values in PassWordDlg.h (C++ code takes them from there
 * and must not include this file next to it); a unit test compares the
 * dialog in keyhold.rc with that logic's template.
 */
#define IDD_PASSWORD                3029    /* master password dialog */
#define IDC_PASSWORD_FIRST          3024    /* the password */
#define IDC_PASSWORD_SECOND         3025    /* the password again (new passwords only) */
#define IDC_PASSWORD_SECOND_LABEL   3026    /* its label */

#endif /* KEYHOLD_RES_RESOURCE_H */
