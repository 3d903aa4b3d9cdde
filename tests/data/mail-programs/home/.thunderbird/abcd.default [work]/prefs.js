user_pref("mail.accountmanager.accounts", "account2,account1");
user_pref("mail.account.account1.server", "server1");
user_pref("mail.account.account2.identities", "id1");
