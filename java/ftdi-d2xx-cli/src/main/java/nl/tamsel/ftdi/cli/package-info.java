/**
 * The command-line tool of the jar; see {@link nl.tamsel.ftdi.cli.Main}.
 */
package nl.tamsel.ftdi.cli;
