/*
 * Resource ids of the Keyhold plug-in.
 *
 * Included by the C++ code and by keyhold.rc (windres), so this file holds
 * plain C preprocessor macros only: no enums, no constexpr, no includes.
 */
#ifndef KEYHOLD_RES_RESOURCE_H
#define KEYHOLD_RES_RESOURCE_H

/* Icons shown for the store's nodes in the file panel, by role. */
#define IDI_DATABASE_ROOT       3000    /* the database root: card with a key */
#define IDI_GROUP_EMAIL         3001    /* the Email folder: envelope */
#define IDI_GROUP_HOMEBANKING   3002    /* the Homebanking folder: bank */
#define IDI_GROUP_INTERNET      3003    /* the Internet folder: globe */
#define IDI_GROUP_NETWORK       3004    /* the Network folder: connected nodes */
#define IDI_ENTRY               3005    /* a password entry: key */
#define IDI_GROUP_WINDOWS       3006    /* the Windows folder: application window */
#define IDI_FOLDER_OPEN         3007    /* an open folder */

/* 3008..3016 are free for further icons. */

#define IDI_UNLOCK              3017    /* "UnLock Keyhold": open padlock */
#define IDI_LOCK                3018    /* "Lock Keyhold": closed padlock */

/* 3019 is no icon: it is the matched-entries dialog (below). */

#define IDI_AUTOTYPE_OFF        3020    /* default auto-type window off: keyboard, grey dot */
#define IDI_NEW_ENTRY           3021    /* "New Entry" and "[New Entry]": key with plus */
#define IDI_AUTOTYPE_ON         3022    /* default auto-type window on: keyboard, green dot */
#define IDI_FOLDER              3023    /* any other folder */
#define IDI_RELOAD              3024    /* "Reload Database": circling arrows */

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

/*
 * The entry password dialog. Its controls have ids of their own name space
 * too: 3022 is an icon above and the "Encrypt" check box here; 3024 to 3026
 * are the same numbers as the master password dialog's fields. A unit test
 * compares the dialog in keyhold.rc with CModifyPassDlg::resourceTemplate().
 */
#define IDD_MODIFY_PASSWORD         3031    /* entry password dialog */
#define IDC_MODIFY_FIRST            3024    /* the password */
#define IDC_MODIFY_SECOND           3025    /* the password again (encrypted entries) */
#define IDC_MODIFY_SECOND_LABEL     3026    /* its label */
#define IDC_MODIFY_ENCRYPT          3022    /* "Encrypt" check box */
#define IDC_MODIFY_GENERATE         3       /* "Generate" button */

/*
 * The entry dialogs: "New Entry" and "View Entry" share one layout and these
 * control ids.
 */
#define IDD_ENTRY_DATA              3010    /* "View Entry": an existing entry */
#define IDD_NEW_ENTRY               3032    /* "New Entry" */
#define IDC_ENTRY_PASSWORD          3008    /* the password (secure edit) */
#define IDC_ENTRY_NOTES             3009    /* the notes */
#define IDC_ENTRY_EXPIRY_DATE       3011    /* the expiry date */
#define IDC_ENTRY_USERNAME          3012    /* the user name */
#define IDC_ENTRY_GROUP             3013    /* the group (View Entry) */
#define IDC_ENTRY_PASSWORD_AGAIN    3014    /* the password again (secure edit) */
#define IDC_ENTRY_HIDDEN            3015    /* a hidden edit (New Entry) */
#define IDC_ENTRY_PASSWORD_BUTTON   3016    /* "*****": show/hide or change the password */
#define IDC_ENTRY_GROUP_LIST        3020    /* the group drop-down list (New Entry) */
#define IDC_ENTRY_TITLE             3027    /* the title */
#define IDC_ENTRY_EXPIRES           3028    /* "Expires" */
#define IDC_ENTRY_URL               3030    /* the URL */
#define IDC_ENTRY_MODIFY            3       /* "&Modify" (View Entry) */
/* Buttons that insert auto-type keywords and placeholders into the notes. */
#define IDC_INSERT_LAST_WINDOW      3036    /* L: the last window found by the hot key */
#define IDC_INSERT_AUTOTYPE         3039    /* A: "Auto-Type:" */
#define IDC_INSERT_AUTOTYPE_WINDOW  3040    /* W: "Auto-Type-Window:" */
#define IDC_INSERT_USERNAME         3041    /* U: "{USERNAME}" */
#define IDC_INSERT_PASSWORD         3042    /* P: "{PASSWORD}" */
#define IDC_INSERT_TAB              3043    /* T: "{TAB}" */
#define IDC_INSERT_DELAY            3044    /* D: "{DELAY X}" */
#define IDC_INSERT_SPACE            3045    /* S: "{SPACE}" */
#define IDC_INSERT_ENTER            3046    /* E: "~" */

/*
 * The chooser of the entries matching a window ("Possible entries"). A unit
 * test compares the dialog in keyhold.rc with CEntriesMatched::resourceTemplate().
 */
#define IDD_ENTRIES_MATCHED         3019    /* "Possible entries" */
#define IDC_MATCHED_LIST            3035    /* the titles, sorted, with the notes as tool tips */

#endif /* KEYHOLD_RES_RESOURCE_H */
