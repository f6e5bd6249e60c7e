/*
 * portadjust.h: the adjustment pass, the monitor's one piece of real work.
 *
 * The network setup owns the driver's linkage lists and rewrites them whenever cards change;
 * it knows nothing of failover groups and drops the entries of backup ports, whose bind rules
 * are removed. The pass repairs that after the fact, at every registry change (foreground) or
 * at system shutdown (service), so that the driver finds every port at its next start.
 *
 * Each step scans card numbers 1 to 254, builds one card object per number for that step and
 * deletes it. A step's failure is traced and never stops the steps after it.
 */
#ifndef PORTWARDEN_PORTADJUST_H
#define PORTWARDEN_PORTADJUST_H

/* Step 1: every BACKUP card whose Route entry is missing gets its entries appended to Route,
 * Bind and Export. Cards in other roles, and backups whose Route entry is there, are left
 * alone. Always 1. */
int adjust_backups(void);

/* Step 2: each TREVAN card's first TCP/IP address is copied into its driver parameters (and
 * the copy removed when the card has none). Always 1. */
int update_IP_addrs(void);

/* Step 3: the driver's linkage lists are rebuilt with the ports in PCI slot 4 first, through
 * the first TREVAN card found (all share the driver's lists). 1 done or no TREVAN card, 0 when
 * the rebuild failed. */
int adjust_port_order(void);

/* The whole pass in its fixed order: adjust_backups, update_IP_addrs, adjust_port_order (only
 * when enable_bind_reorder is non-zero), install_SNMP_agents. */
void run_adjustment_pass(int enable_bind_reorder);

#endif /* PORTWARDEN_PORTADJUST_H */
